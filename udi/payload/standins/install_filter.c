/*
 * Stand-in for the libusb-win32 filter installer. It understands the
 * command lines the library gives it ("install -d=<hardware id>" and
 * "uninstall -d=<hardware id>") and says what it was asked to do, but this
 * payload carries no filter driver, so it installs nothing and reports that
 * with a nonzero exit code.
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
    const char *device = NULL;
    int i;

    if (argc < 2)
        return usage();
    action = argv[1];
    if (strcmp(action, "install") != 0 && strcmp(action, "uninstall") != 0)
        return usage();
    for (i = 2; i < argc; i++) {
        if (strncmp(argv[i], "-d=", 3) == 0)
            device = argv[i] + 3;
    }
    if (device == NULL || device[0] == '\0')
        return usage();

    printf("%s filter for device '%s'\n",
           action[0] == 'i' ? "installing" : "removing", device);
    printf("no filter driver in this package: nothing was changed\n");
    fflush(stdout);
    return 1;
}
