#include "file_queue.h"

#include <wchar.h>

#include "protocol.h"
#include "report.h"

/* More asks for media than this in one commit can only be a loop. */
#define MEDIA_ASKS_MAX 64

typedef struct queue_context {
    pipe_client *pipe;
    wchar_t platform_folder[MAX_PATH];
    DWORD failure;        /* the first error that stopped the copy */
    wchar_t told_present[MAX_PATH];   /* the last source said to be there */
    int media_asks;
    int restart_needed;
} queue_context;

static int same_folder(const wchar_t *a, const wchar_t *b)
{
    size_t length_a = wcslen(a);
    size_t length_b = wcslen(b);

    while (length_a > 0 && a[length_a - 1] == L'\\')
        length_a--;
    while (length_b > 0 && b[length_b - 1] == L'\\')
        length_b--;
    return length_a == length_b && _wcsnicmp(a, b, length_a) == 0;
}

/* A plain file name: nothing that could reach out of the platform folder. */
static int is_plain_name(const wchar_t *name)
{
    return name != NULL && name[0] != L'\0' && wcspbrk(name, L"\\/:") == NULL
        && wcscmp(name, L".") != 0 && wcscmp(name, L"..") != 0;
}

static int is_file(const wchar_t *path)
{
    DWORD attributes = GetFileAttributesW(path);

    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static UINT stop_copy(queue_context *context, DWORD error)
{
    if (context->failure == ERROR_SUCCESS)
        context->failure = error;
    SetLastError(error);
    return FILEOP_ABORT;
}

/*
 * The system asks before it copies a file from a source that may be
 * missing (Wine before every file). A source that is there is taken once;
 * asked for it again, the copy from it failed.
 */
static UINT on_need_media(queue_context *context, const SOURCE_MEDIA_W *media, wchar_t *new_path)
{
    const wchar_t *source_path = media->SourcePath != NULL ? media->SourcePath : L"";
    wchar_t candidate[MAX_PATH];

    if (++context->media_asks > MEDIA_ASKS_MAX || !is_plain_name(media->SourceFile))
        goto missing;
    if (swprintf(candidate, MAX_PATH, L"%ls\\%ls", source_path, media->SourceFile) > 0
        && is_file(candidate) && _wcsicmp(candidate, context->told_present) != 0) {
        wcscpy(context->told_present, candidate);
        return FILEOP_DOIT;
    }
    if (!same_folder(source_path, context->platform_folder)
        && swprintf(candidate, MAX_PATH, L"%ls\\%ls", context->platform_folder,
                    media->SourceFile) > 0
        && is_file(candidate)) {
        report_progress(context->pipe, L"'%ls' is not in '%ls'; it is taken from '%ls'",
                        media->SourceFile, source_path, context->platform_folder);
        wcscpy(new_path, context->platform_folder);
        return FILEOP_NEWPATH;
    }

missing:
    report_progress(context->pipe,
                    L"The source file '%ls' is neither in '%ls' nor in '%ls': the installation stops",
                    media->SourceFile != NULL ? media->SourceFile : L"", source_path,
                    context->platform_folder);
    return stop_copy(context, ERROR_FILE_NOT_FOUND);
}

/* Overwrite questions, which the default callback would ask the user. */
static UINT on_copy_question(queue_context *context, UINT notification, const FILEPATHS_W *paths)
{
    if (notification & SPFILENOTIFY_TARGETNEWER) {
        report_progress(context->pipe, L"'%ls' is newer than '%ls' and is kept", paths->Target,
                        paths->Source);
        return FALSE;
    }
    if (notification & SPFILENOTIFY_TARGETEXISTS) {
        report_progress(context->pipe, L"'%ls' exists and is not to be replaced", paths->Target);
        return FALSE;
    }
    return TRUE;
}

static UINT on_error(queue_context *context, const wchar_t *what, const FILEPATHS_W *paths)
{
    report_failure(context->pipe, paths->Win32Error, L"Could not %ls '%ls'", what,
                   paths->Source != NULL ? paths->Source : paths->Target);
    return stop_copy(context, paths->Win32Error != 0 ? paths->Win32Error : ERROR_GEN_FAILURE);
}

static UINT CALLBACK queue_callback(PVOID user, UINT notification, UINT_PTR param1,
                                    UINT_PTR param2)
{
    queue_context *context = user;
    const FILEPATHS_W *paths = (const FILEPATHS_W *)param1;

    if (notification
        & (SPFILENOTIFY_LANGMISMATCH | SPFILENOTIFY_TARGETEXISTS | SPFILENOTIFY_TARGETNEWER))
        return on_copy_question(context, notification, paths);

    switch (notification) {
    case SPFILENOTIFY_STARTQUEUE:
    case SPFILENOTIFY_STARTSUBQUEUE:
        return TRUE;
    case SPFILENOTIFY_STARTCOPY:
        report_progress(context->pipe, L"Copying '%ls' to '%ls'", paths->Source, paths->Target);
        return FILEOP_DOIT;
    case SPFILENOTIFY_ENDCOPY:
        if (paths->Win32Error != NO_ERROR && context->failure == ERROR_SUCCESS)
            return on_error(context, L"copy", paths);
        return NO_ERROR;
    case SPFILENOTIFY_NEEDMEDIA:
        return on_need_media(context, (const SOURCE_MEDIA_W *)param1, (wchar_t *)param2);
    case SPFILENOTIFY_COPYERROR:
        return on_error(context, L"copy", paths);
    case SPFILENOTIFY_DELETEERROR:
        return on_error(context, L"delete", paths);
    case SPFILENOTIFY_RENAMEERROR:
        return on_error(context, L"rename", paths);
    case SPFILENOTIFY_BACKUPERROR:
        return on_error(context, L"back up", paths);
    case SPFILENOTIFY_FILEOPDELAYED:
        context->restart_needed = 1;
        report_progress(context->pipe, L"'%ls' is in use: it is replaced when Windows restarts",
                        paths->Target);
        return NO_ERROR;
    case SPFILENOTIFY_ENDQUEUE:
    case SPFILENOTIFY_ENDSUBQUEUE:
    case SPFILENOTIFY_ENDDELETE:
    case SPFILENOTIFY_ENDRENAME:
    case SPFILENOTIFY_ENDBACKUP:
        return NO_ERROR;
    default:
        /* The start of a delete, a rename or anything else: go on. */
        return FILEOP_DOIT;
    }
}

int commit_file_queue(pipe_client *pipe, HSPFILEQ queue, const wchar_t *package_folder,
                      int *restart_needed)
{
    queue_context context = { 0 };
    UINT count = 0;

    *restart_needed = 0;
    context.pipe = pipe;
    if (swprintf(context.platform_folder, MAX_PATH, L"%ls\\%ls", package_folder,
                 PLATFORM_FOLDER) < 0) {
        report_progress(pipe, L"The package folder '%ls' is too long", package_folder);
        return STATUS_FILE_ACCESS;
    }

    if (!SetupGetFileQueueCount(queue, FILEOP_COPY, &count))
        report_progress(pipe, L"Copying the driver files");
    else if (count == 0)
        report_progress(pipe, L"The system queued no files to copy");
    else
        report_progress(pipe, L"Copying %u driver files", count);

    if (!SetupCommitFileQueueW(NULL, queue, queue_callback, &context)) {
        DWORD error = context.failure != ERROR_SUCCESS ? context.failure : GetLastError();
        report_failure(pipe, error, L"The driver files were not copied");
        return STATUS_FILE_ACCESS;
    }
    *restart_needed = context.restart_needed;
    return STATUS_OK;
}
