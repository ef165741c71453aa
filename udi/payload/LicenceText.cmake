# Run as a script: writes the licence text of the libusb-win32 files of the
# payload from Debian's common licences, with Windows line ends.
#   cmake -DGPL=GPL-3 -DLGPL=LGPL-3 -DOUTPUT=installer_license.txt -P LicenceText.cmake
file(READ "${GPL}" gpl)
file(READ "${LGPL}" lgpl)
set(rule "================================================================================")
set(text
"The libusb-win32 libraries of this driver package (libusb0.dll,
libusb0_x86.dll) are distributed under the GNU Lesser General Public License,
version 3; the libusb-win32 kernel driver (libusb0.sys) and filter installer
(install-filter.exe) under the GNU General Public License, version 3. The GNU
GPL comes first, since the GNU LGPL adds its permissions to it.

${rule}
GNU GENERAL PUBLIC LICENSE, VERSION 3
${rule}

${gpl}
${rule}
GNU LESSER GENERAL PUBLIC LICENSE, VERSION 3
${rule}

${lgpl}")
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
