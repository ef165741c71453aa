/*
 * Stand-in for the libusb-win32 filter installer. It takes the command lines
 * the library gives it in filter mode ("install -d=<hardware id>" and
 * "uninstall -d=<hardware id>"), says what it was asked and that this
 * payload carries no filter driver, and ends with 0: filter mode then runs
 * its whole course. Anything else is a usage error.
 *
 * The library reads the console output as messages of a pipe, so each line
 * is written out on its own.
 */
#include <stdio.h>
#include <string.h>

static int usage(void)
{
    fprintf(stderr, "usage: install-filter install|uninstall -d=<hardware id>\n");
    return 2;
}

int main(int argc, char **argv)
{
    const char *action;
    const char *device;

    if (argc != 3 || strncmp(argv[2], "-d=", 3) != 0 || argv[2][3] == '\0')
        return usage();
    action = argv[1];
    device = argv[2] + 3;
    if (strcmp(action, "install") != 0 && strcmp(action, "uninstall") != 0)
        return usage();

    printf("install-filter: asked to %s the libusb-win32 filter for the device '%s'\n", action,
           device);
    fflush(stdout);
    printf("install-filter: this is a stand-in: the payload carries no filter driver\n");
    fflush(stdout);
    printf("install-filter: nothing was changed\n");
    fflush(stdout);
    return 0;
}
