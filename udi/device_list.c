/* The present USB devices as a list of udi_device_node. */
#include "internal.h"

#include <stdlib.h>
#include <string.h>
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <setupapi.h>

#define FUNCTION_NAME       "udi_create_list"
#define PROPERTY_SIZE       256
#define DESCRIPTION_UNITS   256
#define VERSION_TEXT_SIZE   24

typedef CONFIGRET (WINAPI *get_device_id_function)(DEVINST, PSTR, ULONG, ULONG);

/* {540B947E-8B40-45BC-A8A2-6A0B894CBDA2}, 4: the description the device itself reports. */
static const DEVPROPKEY bus_reported_description_key = {
    { 0x540B947E, 0x8B40, 0x45BC, { 0xA8, 0xA2, 0x6A, 0x0B, 0x89, 0x4C, 0xBD, 0xA2 } }, 4
};

typedef enum device_outcome {
    DEVICE_KEPT,
    DEVICE_SKIPPED,
    DEVICE_OUT_OF_MEMORY
} device_outcome;

/* What one walk over the device set shares between its devices. */
typedef struct listing {
    HDEVINFO set;
    udi_list_options options;
    get_device_id_function get_device_id;
    int unknown_devices;  /* "Unknown Device #n" given out so far */
} listing;

void free_device_node(udi_device_node *node)
{
    if (node == NULL)
        return;
    free(node->description);
    free(node->driver_service);
    free(node->device_id);
    free(node->hardware_id);
    free(node->first_compatible_id);
    free(node->first_upper_filter);
    free(node);
}

static void free_device_list(udi_device_node *head)
{
    udi_device_node *next;

    while (head != NULL) {
        next = head->next_device;
        free_device_node(head);
        head = next;
    }
}

static char *copy_text(const char *text, int *out_of_memory)
{
    size_t size = strlen(text) + 1;
    char *copy = malloc(size);

    if (copy == NULL)
        *out_of_memory = 1;
    else
        memcpy(copy, text, size);
    return copy;
}

/* The property's text, or of a list its first one; 0 when it cannot be read. */
static int read_property_text(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD property,
                              char buffer[PROPERTY_SIZE])
{
    memset(buffer, 0, PROPERTY_SIZE);
    if (!SetupDiGetDeviceRegistryPropertyA(set, device, property, NULL, (BYTE *)buffer,
                                           PROPERTY_SIZE, NULL))
        return 0;
    buffer[PROPERTY_SIZE - 1] = '\0';
    return 1;
}

/* "DriverVersion" of the driver key; empty when missing, not text or too long. */
static void read_driver_version_text(HDEVINFO set, SP_DEVINFO_DATA *device,
                                     char text[VERSION_TEXT_SIZE])
{
    HKEY key;
    DWORD type = 0;
    DWORD size = VERSION_TEXT_SIZE;
    LONG status;

    memset(text, 0, VERSION_TEXT_SIZE);
    key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return;
    status = RegQueryValueExA(key, "DriverVersion", NULL, &type, (BYTE *)text, &size);
    RegCloseKey(key);
    /* A value of the full size without its terminator is longer than we hold. */
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)
        || memchr(text, '\0', VERSION_TEXT_SIZE) == NULL)
        memset(text, 0, VERSION_TEXT_SIZE);
}

/* The device's display text in UTF-16, counted as "Unknown Device #n" when it has none. */
static void read_description(listing *walk, SP_DEVINFO_DATA *device, DWORD index,
                             wchar_t description[DESCRIPTION_UNITS])
{
    DEVPROPTYPE type;

    memset(description, 0, DESCRIPTION_UNITS * sizeof(wchar_t));
    if (SetupDiGetDevicePropertyW(walk->set, device, &bus_reported_description_key, &type,
                                  (BYTE *)description, DESCRIPTION_UNITS * sizeof(wchar_t),
                                  NULL, 0)
        && type == DEVPROP_TYPE_STRING) {
        description[DESCRIPTION_UNITS - 1] = L'\0';
        return;
    }
    memset(description, 0, DESCRIPTION_UNITS * sizeof(wchar_t));
    if (SetupDiGetDeviceRegistryPropertyW(walk->set, device, SPDRP_DEVICEDESC, NULL,
                                          (BYTE *)description,
                                          DESCRIPTION_UNITS * sizeof(wchar_t), NULL)) {
        description[DESCRIPTION_UNITS - 1] = L'\0';
        if (description[0] != L'\0')
            return;
    }
    log_message(LOG_DEBUG, FUNCTION_NAME, "Could not read device description for %d: %s",
                (int)index, windows_error_text(0));
    format_bounded_wide(description, DESCRIPTION_UNITS, L"Unknown Device #%d",
                        ++walk->unknown_devices);
    description[DESCRIPTION_UNITS - 1] = L'\0';
}

static void append_to_description(wchar_t description[DESCRIPTION_UNITS], const wchar_t *suffix)
{
    size_t length = wcslen(description);

    if (length + wcslen(suffix) + 1 < DESCRIPTION_UNITS)
        wcscat(description, suffix);
}

/* Fills node from the device at index, or tells why it is not listed. */
static device_outcome examine_device(listing *walk, SP_DEVINFO_DATA *device, DWORD index,
                                     udi_device_node *node)
{
    char property[PROPERTY_SIZE];
    char version_text[VERSION_TEXT_SIZE] = { 0 };
    char device_id[PROPERTY_SIZE];
    wchar_t description[DESCRIPTION_UNITS];
    wchar_t suffix[32];
    device_id_tokens tokens;
    CONFIGRET status;
    int hub;
    int composite_parent;
    int out_of_memory = 0;

    if (read_property_text(walk->set, device, SPDRP_DRIVER, property)) {
        if (!walk->options.include_with_driver)
            return DEVICE_SKIPPED;
        read_driver_version_text(walk->set, device, version_text);
    }

    if (read_property_text(walk->set, device, SPDRP_SERVICE, property))
        node->driver_service = copy_text(property, &out_of_memory);
    hub = is_hub_service(node->driver_service);
    composite_parent = is_composite_parent_service(node->driver_service);
    if ((hub || composite_parent) && !walk->options.include_hubs)
        return DEVICE_SKIPPED;

    if (read_property_text(walk->set, device, SPDRP_HARDWAREID, property)) {
        log_message(LOG_DEBUG, FUNCTION_NAME, "Hardware ID: %s", property);
    } else {
        log_message(LOG_ERROR, FUNCTION_NAME, "Could not get hardware ID");
        property[0] = '\0';
    }
    node->hardware_id = copy_text(property, &out_of_memory);

    if (read_property_text(walk->set, device, SPDRP_COMPATIBLEIDS, property))
        log_message(LOG_DEBUG, FUNCTION_NAME, "Compatible ID: %s", property);
    else
        property[0] = '\0';
    node->first_compatible_id = copy_text(property, &out_of_memory);

    if (read_property_text(walk->set, device, SPDRP_UPPERFILTERS, property)) {
        log_message(LOG_DEBUG, FUNCTION_NAME, "Upper filter: %s", property);
        node->first_upper_filter = copy_text(property, &out_of_memory);
    }

    if (version_text[0] != '\0') {
        log_message(LOG_DEBUG, FUNCTION_NAME, "Driver version: %s", version_text);
        node->installed_driver_version = pack_driver_version(version_text);
    } else if (node->driver_service != NULL) {
        log_message(LOG_WARNING, FUNCTION_NAME, "Could not read driver version");
    }

    memset(device_id, 0, sizeof(device_id));
    status = walk->get_device_id(device->DevInst, device_id, sizeof(device_id), 0);
    if (status != CR_SUCCESS) {
        log_message(LOG_ERROR, FUNCTION_NAME,
                    "Could not retrieve simple path for device %d: CR error %d", (int)index,
                    (int)status);
        return out_of_memory ? DEVICE_OUT_OF_MEMORY : DEVICE_SKIPPED;
    }
    device_id[sizeof(device_id) - 1] = '\0';
    log_message(LOG_DEBUG, FUNCTION_NAME, "%s USB device (%d): %s",
                node->driver_service != NULL ? node->driver_service : "Driverless", (int)index,
                device_id);
    node->device_id = copy_text(device_id, &out_of_memory);

    read_description(walk, device, index, description);

    parse_device_id_tokens(device_id, &tokens);
    if (tokens.bad_vendor_token)
        log_message(LOG_ERROR, FUNCTION_NAME, "Could not convert VID string");
    if (tokens.bad_product_token)
        log_message(LOG_ERROR, FUNCTION_NAME, "Could not convert PID string");
    if (tokens.bad_interface_token)
        log_message(LOG_ERROR, FUNCTION_NAME, "Could not convert MI string");
    node->vendor_id = tokens.vendor_id;
    node->product_id = tokens.product_id;
    if (tokens.has_interface_number) {
        node->has_interface_number = 1;
        node->interface_number = tokens.interface_number;
        format_bounded_wide(suffix, sizeof(suffix) / sizeof(suffix[0]), L" (Interface %d)",
                            (int)tokens.interface_number);
        suffix[sizeof(suffix) / sizeof(suffix[0]) - 1] = L'\0';
        append_to_description(description, suffix);
    }

    if (hub && !tokens.has_vendor_token)
        return out_of_memory ? DEVICE_OUT_OF_MEMORY : DEVICE_SKIPPED;
    if (composite_parent)
        append_to_description(description, L" (Composite Parent)");

    /* NULL only when the text does not convert; the device is listed anyway. */
    node->description = wide_to_utf8(description);
    if (node->description != NULL && walk->options.trim_description)
        trim_trailing_space(node->description);
    log_message(LOG_DEBUG, FUNCTION_NAME, "Device description: '%s'",
                node->description != NULL ? node->description : "");

    return out_of_memory ? DEVICE_OUT_OF_MEMORY : DEVICE_KEPT;
}

udi_result udi_create_list(udi_device_node **head_out, const udi_list_options *options)
{
    operation_frame frame;
    system_module cfgmgr = { 0 };
    listing walk = { 0 };
    udi_device_node *head = NULL;
    udi_device_node *tail = NULL;
    udi_device_node *node;
    SP_DEVINFO_DATA device;
    device_outcome outcome;
    DWORD index;
    udi_result r;

    r = enter_operation(&frame, FUNCTION_NAME, 1);
    if (r != UDI_OK)
        return r;
    walk.set = INVALID_HANDLE_VALUE;

    if (head_out == NULL) {
        log_message(LOG_ERROR, FUNCTION_NAME, "No list head to store the devices in");
        r = UDI_ERR_BAD_ARGUMENT;
        goto out;
    }
    *head_out = NULL;
    if (options != NULL)
        walk.options = *options;

    system_module_open(&cfgmgr, "Cfgmgr32");
    walk.get_device_id = (get_device_id_function)system_module_function(&cfgmgr,
                                                                        "CM_Get_Device_IDA",
                                                                        FUNCTION_NAME);
    if (walk.get_device_id == NULL) {
        r = UDI_ERR_OUT_OF_RESOURCES;
        goto out;
    }

    walk.set = SetupDiGetClassDevsA(NULL, "USB", NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (walk.set == INVALID_HANDLE_VALUE) {
        r = UDI_ERR_DEVICE_LIST_EMPTY;
        goto out;
    }

    for (index = 0;; index++) {
        memset(&device, 0, sizeof(device));
        device.cbSize = sizeof(device);
        if (!SetupDiEnumDeviceInfo(walk.set, index, &device))
            break;

        node = calloc(1, sizeof(*node));
        outcome = (node == NULL) ? DEVICE_OUT_OF_MEMORY
                                 : examine_device(&walk, &device, index, node);
        if (outcome != DEVICE_KEPT)
            free_device_node(node);
        if (outcome == DEVICE_OUT_OF_MEMORY) {
            free_device_list(head);
            head = NULL;
            r = UDI_ERR_OUT_OF_RESOURCES;
            goto out;
        }
        if (outcome == DEVICE_SKIPPED)
            continue;

        if (tail == NULL)
            head = node;
        else
            tail->next_device = node;
        tail = node;
    }

    *head_out = head;
    r = (head != NULL) ? UDI_OK : UDI_ERR_DEVICE_LIST_EMPTY;

out:
    if (walk.set != INVALID_HANDLE_VALUE)
        SetupDiDestroyDeviceInfoList(walk.set);
    system_module_close(&cfgmgr);
    leave_operation(&frame);
    return r;
}

udi_result udi_destroy_list(udi_device_node *head)
{
    operation_frame frame;
    udi_result r;

    r = enter_operation(&frame, "udi_destroy_list", 0);
    if (r != UDI_OK)
        return r;
    free_device_list(head);
    leave_operation(&frame);
    return UDI_OK;
}
