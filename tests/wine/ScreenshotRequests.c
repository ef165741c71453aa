/* Sends scripts/lib/screenshot each argument as a request and prints each
 * answer as "answer <text>", for tests of how the tool takes requests.
 * "end CODE" is sent without waiting, as it has no answer; "exit:CODE" sends
 * nothing and ends the program with CODE. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv)
{
    char answer[256];
    int i;

    for (i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "exit:", 5) == 0)
            return atoi(argv[i] + 5);

        printf("screenshot %s\n", argv[i]);
        fflush(stdout);

        if (strncmp(argv[i], "end ", 4) == 0)
            continue;

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
