#include "device_install.h"

#include <setupapi.h>
#include <cfgmgr32.h>
#include <wchar.h>

#include "file_queue.h"
#include "protocol.h"
#include "report.h"

typedef struct device_setup {
    pipe_client *pipe;
    HDEVINFO set;
    SP_DEVINFO_DATA device;
    int has_driver_list;
    wchar_t package_folder[MAX_PATH];
    wchar_t install_section[MAX_PATH];   /* of the selected driver, as the INF names it */
    int restart_needed;
} device_setup;

/* Where Wine's setup functions part from the system's, the steps say why. */
static int running_on_wine(void)
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");

    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

/*
 * Whether the section for this platform of the selected driver's install
 * section, with the suffix added (such as ".CoInstallers"), copies files.
 * When the INF cannot be read it counts as copying.
 */
static int section_copies_files(const device_setup *setup, const wchar_t *inf_path,
                                const wchar_t *suffix)
{
    wchar_t actual[MAX_PATH];
    wchar_t section[MAX_PATH];
    INFCONTEXT line;
    HINF inf;
    int copies = 1;

    inf = SetupOpenInfFileW(inf_path, NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE)
        return 1;
    if (SetupDiGetActualSectionToInstallW(inf, setup->install_section, actual, MAX_PATH, NULL,
                                          NULL)
        && swprintf(section, MAX_PATH, L"%ls%ls", actual, suffix) > 0)
        copies = SetupFindFirstLineW(inf, section, L"CopyFiles", &line);
    SetupCloseInfFile(inf);
    return copies;
}

/* A device installation function through the class installer and co-installers. 0 or an error. */
static DWORD call_installer(device_setup *setup, DI_FUNCTION function)
{
    DWORD error;

    if (SetupDiCallClassInstaller(function, setup->set, &setup->device))
        return ERROR_SUCCESS;
    error = GetLastError();
    /* Nobody handles it and it has no default action: nothing to do. */
    return error == ERROR_DI_DO_DEFAULT ? ERROR_SUCCESS : error;
}

/* Sets and clears install flags; FileQueue becomes queue. 0 or an error. */
static DWORD change_install_params(device_setup *setup, DWORD set, DWORD clear, HSPFILEQ queue,
                                   const wchar_t *driver_path)
{
    SP_DEVINSTALL_PARAMS_W params;

    params.cbSize = sizeof(params);
    if (!SetupDiGetDeviceInstallParamsW(setup->set, &setup->device, &params))
        return GetLastError();
    params.Flags = (params.Flags & ~clear) | set;
    params.FileQueue = queue;
    if (driver_path != NULL)
        wcscpy(params.DriverPath, driver_path);
    if (!SetupDiSetDeviceInstallParamsW(setup->set, &setup->device, &params))
        return GetLastError();
    return ERROR_SUCCESS;
}

/* The enumerator is the instance id up to its first separator ("USB"). */
static int find_device(device_setup *setup, const wchar_t *device_id)
{
    wchar_t enumerator[MAX_DEVICE_ID_LEN + 1];
    wchar_t id[MAX_DEVICE_ID_LEN + 1];
    const wchar_t *separator = wcschr(device_id, L'\\');
    size_t length = separator != NULL ? (size_t)(separator - device_id) : 0;
    DWORD index;

    if (length == 0 || length > MAX_DEVICE_ID_LEN) {
        report_progress(setup->pipe, L"'%ls' is no device instance id", device_id);
        return STATUS_BAD_REPLY;
    }
    wmemcpy(enumerator, device_id, length);
    enumerator[length] = L'\0';

    setup->set = SetupDiGetClassDevsW(NULL, enumerator, NULL, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (setup->set == INVALID_HANDLE_VALUE) {
        report_failure(setup->pipe, GetLastError(), L"Could not list the devices of '%ls'",
                       enumerator);
        return STATUS_SETUP_FAILED;
    }
    for (index = 0;; index++) {
        setup->device.cbSize = sizeof(setup->device);
        if (!SetupDiEnumDeviceInfo(setup->set, index, &setup->device))
            break;
        if (SetupDiGetDeviceInstanceIdW(setup->set, &setup->device, id, MAX_DEVICE_ID_LEN + 1,
                                        NULL)
            && _wcsicmp(id, device_id) == 0)
            return STATUS_OK;
    }
    report_progress(setup->pipe, L"The device '%ls' is not present", device_id);
    return STATUS_NO_DEVICE;
}

/* Wine gives neither a date nor a version: those are left out then. */
static void report_selected_driver(device_setup *setup, const SP_DRVINFO_DATA_W *driver)
{
    const DWORDLONG version = driver->DriverVersion;
    SYSTEMTIME date;

    report_progress(setup->pipe, L"Selected the driver '%ls' of '%ls', install section [%ls]",
                    driver->Description, driver->ProviderName, setup->install_section);
    if (version != 0)
        report_progress(setup->pipe, L"Its version is %u.%u.%u.%u",
                        (unsigned)(version >> 48) & 0xFFFF, (unsigned)(version >> 32) & 0xFFFF,
                        (unsigned)(version >> 16) & 0xFFFF, (unsigned)version & 0xFFFF);
    if ((driver->DriverDate.dwLowDateTime != 0 || driver->DriverDate.dwHighDateTime != 0)
        && FileTimeToSystemTime(&driver->DriverDate, &date))
        report_progress(setup->pipe, L"Its date is %02u/%02u/%04u", date.wMonth, date.wDay,
                        date.wYear);
}

/* The selected driver and the name of its install section. */
static int read_selected_driver(device_setup *setup)
{
    SP_DRVINFO_DATA_W driver;
    union {
        SP_DRVINFO_DETAIL_DATA_W detail;
        BYTE bytes[sizeof(SP_DRVINFO_DETAIL_DATA_W) + 2048];
    } buffer;

    driver.cbSize = sizeof(driver);
    buffer.detail.cbSize = sizeof(buffer.detail);
    if (!SetupDiGetSelectedDriverW(setup->set, &setup->device, &driver)) {
        report_failure(setup->pipe, GetLastError(), L"Could not read the selected driver");
        return STATUS_SETUP_FAILED;
    }
    /* Only the fixed part is read: a buffer too short for the ids still fills it. */
    if (!SetupDiGetDriverInfoDetailW(setup->set, &setup->device, &driver, &buffer.detail,
                                     sizeof(buffer), NULL)
        && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        report_failure(setup->pipe, GetLastError(), L"Could not read the selected driver");
        return STATUS_SETUP_FAILED;
    }
    wcsncpy(setup->install_section, buffer.detail.SectionName, MAX_PATH - 1);
    setup->install_section[MAX_PATH - 1] = L'\0';
    report_selected_driver(setup, &driver);
    return STATUS_OK;
}

static int select_driver(device_setup *setup, const wchar_t *inf_path)
{
    DWORD error;

    /* Only this INF: neither the system's INF folder nor any other. */
    error = change_install_params(setup, DI_ENUMSINGLEINF | DI_QUIETINSTALL, 0, NULL, inf_path);
    if (error != ERROR_SUCCESS) {
        report_failure(setup->pipe, error, L"Could not name the INF to the system");
        return STATUS_SETUP_FAILED;
    }
    if (!SetupDiBuildDriverInfoList(setup->set, &setup->device, SPDIT_COMPATDRIVER)) {
        report_failure(setup->pipe, GetLastError(), L"Could not read the drivers of '%ls'",
                       inf_path);
        return STATUS_SETUP_FAILED;
    }
    setup->has_driver_list = 1;

    error = call_installer(setup, DIF_SELECTBESTCOMPATDRV);
    if (error == ERROR_NO_COMPAT_DRIVERS) {
        report_progress(setup->pipe, L"'%ls' holds no driver for this device", inf_path);
        return STATUS_MISSING;
    }
    if (error != ERROR_SUCCESS) {
        report_failure(setup->pipe, error, L"Could not select the driver");
        return STATUS_SETUP_FAILED;
    }
    return read_selected_driver(setup);
}

/*
 * Puts the package into the system's store of drivers, so that Windows finds
 * it again for this device later. A package that cannot go there may still
 * install from its folder: the device installation itself says so if not.
 */
static void copy_inf_into_system(device_setup *setup, const wchar_t *inf_path)
{
    wchar_t copy[MAX_PATH];

    if (SetupCopyOEMInfW(inf_path, NULL, SPOST_PATH, 0, copy, MAX_PATH, NULL, NULL))
        report_progress(setup->pipe, L"The INF is in the system as '%ls'", copy);
    else
        report_failure(setup->pipe, GetLastError(),
                       L"The INF could not be copied into the system's INF folder; the "
                       L"installation goes on from the package folder");
}

static int install_files(device_setup *setup)
{
    HSPFILEQ queue;
    DWORD error;
    int status;

    queue = SetupOpenFileQueue();
    if (queue == INVALID_HANDLE_VALUE) {
        report_failure(setup->pipe, GetLastError(), L"Could not make a file queue");
        return STATUS_OUT_OF_RESOURCES;
    }
    /* The files go into our queue instead of being copied with prompts. */
    error = change_install_params(setup, DI_NOVCP, 0, queue, NULL);
    if (error == ERROR_SUCCESS)
        error = call_installer(setup, DIF_INSTALLDEVICEFILES);
    if (error != ERROR_SUCCESS) {
        report_failure(setup->pipe, error, L"Could not queue the driver files");
        status = STATUS_SETUP_FAILED;
    } else {
        status = commit_file_queue(setup->pipe, queue, setup->package_folder,
                                   &setup->restart_needed);
    }

    /* From here on nothing copies files: they are in place. */
    error = change_install_params(setup, DI_NOFILECOPY, DI_NOVCP, NULL, NULL);
    SetupCloseFileQueue(queue);
    if (status == STATUS_OK && error != ERROR_SUCCESS) {
        report_failure(setup->pipe, error, L"Could not change the install flags");
        status = STATUS_SETUP_FAILED;
    }
    return status;
}

/* Once the library has gone, nobody would learn how a further step ended. */
static int library_gone(const device_setup *setup)
{
    return setup->pipe->broken;
}

static int install_step(device_setup *setup, DI_FUNCTION function, const wchar_t *what)
{
    DWORD error;

    if (library_gone(setup))
        return STATUS_LOST_LIBRARY;
    report_progress(setup->pipe, L"%ls", what);
    error = call_installer(setup, function);
    if (error != ERROR_SUCCESS) {
        report_failure(setup->pipe, error, L"%ls failed", what);
        return STATUS_SETUP_FAILED;
    }
    return STATUS_OK;
}

/* {4340A6C5-93FA-4706-972C-7B648008A5A7}, 3: the device's problem code. */
static const DEVPROPKEY problem_code_key = {
    { 0x4340A6C5, 0x93FA, 0x4706, { 0x97, 0x2C, 0x7B, 0x64, 0x80, 0x08, 0xA5, 0xA7 } }, 3
};

/* The code of the problem the system reports for the device; 0 for none. */
static ULONG problem_of(device_setup *setup)
{
    DEVPROPTYPE type = 0;
    ULONG problem = 0;
    ULONG node_status = 0;

    if (SetupDiGetDevicePropertyW(setup->set, &setup->device, &problem_code_key, &type,
                                  (BYTE *)&problem, sizeof(problem), NULL, 0)
        && type == DEVPROP_TYPE_UINT32)
        return problem;
    problem = 0;
    if (CM_Get_DevNode_Status(&node_status, &problem, setup->device.DevInst, 0) == CR_SUCCESS
        && (node_status & DN_HAS_PROBLEM))
        return problem;
    return 0;
}

/*
 * How the installation left the device, and the status it ends with: a
 * device that does not work has not been installed. Both that and a restart
 * still to come are warnings, which the library's log shows the user.
 */
static int report_outcome(device_setup *setup)
{
    SP_DEVINSTALL_PARAMS_W params;
    wchar_t service[256];
    ULONG problem;

    if (SetupDiGetDeviceRegistryPropertyW(setup->set, &setup->device, SPDRP_SERVICE, NULL,
                                          (BYTE *)service, sizeof(service) - sizeof(wchar_t),
                                          NULL)) {
        service[255] = L'\0';
        report_progress(setup->pipe, L"The device now uses the service '%ls'", service);
    }

    params.cbSize = sizeof(params);
    if (SetupDiGetDeviceInstallParamsW(setup->set, &setup->device, &params)
        && (params.Flags & (DI_NEEDREBOOT | DI_NEEDRESTART)))
        setup->restart_needed = 1;
    problem = problem_of(setup);
    if (problem != 0 && problem != CM_PROB_NEED_RESTART) {
        report_warning(setup->pipe, L"The device reports the problem code %lu", problem);
        return STATUS_SETUP_FAILED;
    }
    /* That one goes once Windows has started again. */
    if (problem == CM_PROB_NEED_RESTART)
        setup->restart_needed = 1;
    if (setup->restart_needed)
        report_warning(setup->pipe, L"Windows must be restarted to finish the installation");
    return STATUS_OK;
}

static int run_install_steps(device_setup *setup, const wchar_t *inf_path)
{
    int status;

    status = select_driver(setup, inf_path);
    if (status == STATUS_OK)
        status = install_step(setup, DIF_ALLOW_INSTALL, L"Asking whether the driver may be installed");
    if (status != STATUS_OK)
        return status;
    if (library_gone(setup))
        return STATUS_LOST_LIBRARY;

    copy_inf_into_system(setup, inf_path);
    /* Wine copies an install section's files itself, whatever the flags say,
       and asks for ever for one it does not find where it looks. */
    if (running_on_wine() && section_copies_files(setup, inf_path, L"")) {
        report_progress(setup->pipe, L"Wine would copy the files of [%ls] with its own prompts, "
                                     L"which nobody can answer here: the installation stops",
                        setup->install_section);
        return STATUS_SETUP_FAILED;
    }
    status = install_files(setup);
    if (status != STATUS_OK)
        return status;

    /* Wine registers co-installers only by copying them once more, again
       with its own prompts: it cannot do this step, and it is left out. */
    if (running_on_wine() && section_copies_files(setup, inf_path, L".CoInstallers"))
        report_progress(setup->pipe, L"Wine would copy the co-installers once more with its own "
                                     L"prompts: they are not registered");
    else
        status = install_step(setup, DIF_REGISTER_COINSTALLERS, L"Registering the co-installers");
    if (status == STATUS_OK)
        status = install_step(setup, DIF_INSTALLINTERFACES, L"Installing the device interfaces");
    if (status == STATUS_OK)
        status = install_step(setup, DIF_INSTALLDEVICE, L"Installing the device");
    if (status == STATUS_OK)
        status = report_outcome(setup);
    return status;
}

int install_device(pipe_client *pipe, const wchar_t *inf_path, const wchar_t *device_id)
{
    device_setup setup = { 0 };
    wchar_t *last_separator;
    int status;

    setup.pipe = pipe;
    setup.set = INVALID_HANDLE_VALUE;
    if (wcslen(inf_path) >= MAX_PATH) {
        report_progress(pipe, L"The path of the INF is too long: '%ls'", inf_path);
        return STATUS_FILE_ACCESS;
    }
    wcscpy(setup.package_folder, inf_path);
    last_separator = wcsrchr(setup.package_folder, L'\\');
    if (last_separator != NULL)
        *last_separator = L'\0';

    status = find_device(&setup, device_id);
    if (status == STATUS_OK) {
        report_long_step_begins(pipe);
        status = run_install_steps(&setup, inf_path);
        report_long_step_ended(pipe);
    }

    if (setup.has_driver_list)
        SetupDiDestroyDriverInfoList(setup.set, &setup.device, SPDIT_COMPATDRIVER);
    if (setup.set != INVALID_HANDLE_VALUE)
        SetupDiDestroyDeviceInfoList(setup.set);
    return status;
}
