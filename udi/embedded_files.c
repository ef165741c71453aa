/*
 * The table of embedded files. The bytes come from headers generated at
 * build time (udi/payload); the subfolders, names and time stamps are the
 * table's own. Rows that carry the same file share one array.
 */
#include "embedded_files.h"

#include <string.h>

#include "payload_wdf_coinstaller_amd64.h"
#include "payload_winusb_coinstaller_amd64.h"
#include "payload_libusb0_dll_x86.h"
#include "payload_install_filter_x86.h"
#include "payload_libusb0_dll_amd64.h"
#include "payload_libusb0_sys_amd64.h"
#include "payload_install_filter_amd64.h"
#include "payload_libusb0_licence.h"
#include "payload_libusbk_sys_amd64.h"
#include "payload_libusbk_dll_amd64.h"
#include "payload_libusbk_dll_x86.h"
#include "payload_installer_amd64.h"
#include "template_winusb_inf.h"
#include "template_libusb0_inf.h"
#include "template_libusbk_inf.h"
#include "template_usbser_inf.h"
#include "template_winusb_cat.h"
#include "template_libusb0_cat.h"
#include "template_libusbk_cat.h"
#include "template_usbser_cat.h"

/* Each generated array holds one NUL past the file's bytes. */
#define EMBEDDED_ROW(subfolder, file_name, creation_time, bytes) \
    { subfolder, file_name, sizeof(bytes) - 1, creation_time, bytes }

/* Time stamps of the files as the build took them in (UTC). */
#define TIME_KMDF_COINSTALLER    INT64_C(1592901020) /* 2020-06-23 08:30:20 */
#define TIME_WINUSB_COINSTALLER  INT64_C(1592901026) /* 2020-06-23 08:30:26 */
#define TIME_LIBUSB0             INT64_C(1615190401) /* 2021-03-08 08:00:01 */
#define TIME_LIBUSBK             INT64_C(1615190764) /* 2021-03-08 08:06:04 */
#define TIME_INSTALLER           INT64_C(1615189875) /* 2021-03-08 07:51:15 */
#define TIME_TEMPLATES           INT64_C(1615188884) /* 2021-03-08 07:34:44 */

const embedded_file embedded_files[] = {
    EMBEDDED_ROW("amd64", "WdfCoInstaller01011.dll", TIME_KMDF_COINSTALLER,
                 payload_wdf_coinstaller_amd64),
    EMBEDDED_ROW("amd64", "winusbcoinstaller2.dll", TIME_WINUSB_COINSTALLER,
                 payload_winusb_coinstaller_amd64),
    EMBEDDED_ROW("x86", "libusb0_x86.dll", TIME_LIBUSB0, payload_libusb0_dll_x86),
    EMBEDDED_ROW("x86", "install-filter.exe", TIME_LIBUSB0, payload_install_filter_x86),
    EMBEDDED_ROW("amd64", "libusb0_x86.dll", TIME_LIBUSB0, payload_libusb0_dll_x86),
    EMBEDDED_ROW("amd64", "libusb0.dll", TIME_LIBUSB0, payload_libusb0_dll_amd64),
    EMBEDDED_ROW("amd64", "libusb0.sys", TIME_LIBUSB0, payload_libusb0_sys_amd64),
    EMBEDDED_ROW("amd64", "install-filter.exe", TIME_LIBUSB0, payload_install_filter_amd64),
    EMBEDDED_ROW("license\\libusb0", "installer_license.txt", TIME_LIBUSB0,
                 payload_libusb0_licence),
    EMBEDDED_ROW("amd64", "libusbK.sys", TIME_LIBUSBK, payload_libusbk_sys_amd64),
    EMBEDDED_ROW("amd64", "libusbK.dll", TIME_LIBUSBK, payload_libusbk_dll_amd64),
    EMBEDDED_ROW("x86", "libusbK.dll", TIME_LIBUSBK, payload_libusbk_dll_x86),
    EMBEDDED_ROW("amd64", "libusbK_x86.dll", TIME_LIBUSBK, payload_libusbk_dll_x86),
    EMBEDDED_ROW(".", "installer_x64.exe", TIME_INSTALLER, payload_installer_amd64),
    EMBEDDED_ROW("", "winusb.inf.in", TIME_TEMPLATES, template_winusb_inf),
    EMBEDDED_ROW("", "libusb0.inf.in", TIME_TEMPLATES, template_libusb0_inf),
    EMBEDDED_ROW("", "libusbk.inf.in", TIME_TEMPLATES, template_libusbk_inf),
    EMBEDDED_ROW("", "usbser.inf.in", TIME_TEMPLATES, template_usbser_inf),
    EMBEDDED_ROW("", "winusb.cat.in", TIME_TEMPLATES, template_winusb_cat),
    EMBEDDED_ROW("", "libusb0.cat.in", TIME_TEMPLATES, template_libusb0_cat),
    EMBEDDED_ROW("", "libusbk.cat.in", TIME_TEMPLATES, template_libusbk_cat),
    EMBEDDED_ROW("", "usbser.cat.in", TIME_TEMPLATES, template_usbser_cat),
};

const size_t embedded_files_count = sizeof embedded_files / sizeof embedded_files[0];

const embedded_file *find_embedded_file(const char *file_name)
{
    size_t i;

    if (file_name == NULL)
        return NULL;
    for (i = 0; i < embedded_files_count; i++) {
        if (strcmp(embedded_files[i].file_name, file_name) == 0)
            return &embedded_files[i];
    }
    return NULL;
}

const embedded_file *find_embedded_template(const char *file_name)
{
    size_t i;

    if (file_name == NULL)
        return NULL;
    for (i = 0; i < embedded_files_count; i++) {
        if (embedded_files[i].subfolder[0] == '\0'
            && strcmp(embedded_files[i].file_name, file_name) == 0)
            return &embedded_files[i];
    }
    return NULL;
}
