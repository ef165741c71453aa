/*
 * A second process for the tests of libudi's operation locks:
 *
 *   udi_probe list                 exit with the result of udi_create_list
 *   udi_probe hold NAME READY GO   create the mutex Global\NAME as an
 *                                  operation would, signal the event READY,
 *                                  wait for the event GO, then end
 *   udi_probe write-cwd            create "cwd.txt" in the current folder
 *   udi_probe sign FILE SUBJECT    exit with the result of SelfSignFile
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "udi/libudi.h"
#include "udi/sign.h"

static int list_devices(void)
{
    udi_device_node *head = NULL;
    udi_result r = udi_create_list(&head, NULL);

    udi_destroy_list(head);
    return r;
}

static int hold_lock(const char *name, const char *ready, const char *go)
{
    char lock_name[128];
    HANDLE lock;
    HANDLE ready_event = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready);
    HANDLE go_event = OpenEventA(SYNCHRONIZE, FALSE, go);

    if (ready_event == NULL || go_event == NULL)
        return 2;
    snprintf(lock_name, sizeof(lock_name), "Global\\%s", name);
    lock = CreateMutexA(NULL, TRUE, lock_name);
    if (lock == NULL)
        return 3;
    SetEvent(ready_event);
    WaitForSingleObject(go_event, 10000);
    CloseHandle(lock);
    CloseHandle(go_event);
    CloseHandle(ready_event);
    return 0;
}

static int write_cwd(void)
{
    FILE *file = fopen("cwd.txt", "w");

    if (file == NULL)
        return 4;
    fputs("here\n", file);
    fclose(file);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "list") == 0)
        return list_devices();
    if (argc == 5 && strcmp(argv[1], "hold") == 0)
        return hold_lock(argv[2], argv[3], argv[4]);
    if (argc == 2 && strcmp(argv[1], "write-cwd") == 0)
        return write_cwd();
    if (argc == 4 && strcmp(argv[1], "sign") == 0)
        return SelfSignFile(argv[2], argv[3]);
    return 1;
}
