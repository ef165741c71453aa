/*
 * Placeholder for the driver installer program of the package. It does not
 * talk to the library over its pipe and installs nothing; it says so and
 * ends with a nonzero exit code, which the library reports as a failed
 * installation.
 */
#include <stdio.h>

int main(int argc, char **argv)
{
    fprintf(stderr, "%s: no driver installer in this build; '%s' was not installed\n",
            argc > 0 ? argv[0] : "installer_x64",
            argc > 1 ? argv[1] : "(no inf given)");
    return 1;
}
