/* Sends scripts/lib/screenshot each argument as a request and prints each
 * answer as "answer <text>", for tests of how the tool takes requests. */
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv)
{
    char answer[256];
    int i;

    for (i = 1; i < argc; ++i) {
        printf("screenshot %s\n", argv[i]);
        fflush(stdout);

        if (fgets(answer, sizeof answer, stdin) == NULL) {
            printf("answer none\n");
            return 1;
        }

        answer[strcspn(answer, "\r\n")] = '\0';
        printf("answer %s\n", answer);
        fflush(stdout);
    }

    return 0;
}
