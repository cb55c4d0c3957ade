/* SPDX-License-Identifier: MIT */
/* The child processes of one call of command 107 (children.h). */
#include "children.h"

#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kCommandSize = 4096 };

/* Formats into buf of kCommandSize bytes; exits when it does not fit. */
static void format(char *buf, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
static void format(char *buf, const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int n = vsnprintf(buf, kCommandSize, fmt, args);
    va_end(args);
    if (n < 0 || n >= kCommandSize) {
        fputs("version_children: the root is too long\n", stderr);
        exit(2);
    }
}

static int exists(const char *path) {
    struct stat st;
    return stat(path, &st) == 0;
}

static void run(const char *command) {
    if (system(command) == -1)
        perror("system");
}

static void read_pipe(const char *command) {
    FILE *pipe = popen(command, "r");
    if (pipe == NULL) {
        perror("popen");
        return;
    }
    char buf[256];
    while (fread(buf, 1, sizeof buf, pipe) > 0) {
    }
    pclose(pipe);
}

void run_mandated_children(const char *root) {
    char buf[kCommandSize];
    char cache[kCommandSize];
    format(cache, "%s/var/tmp/bootloader_ver", root);
    if (!exists(cache)) {
        format(buf, "sudo /bin/mount -o ro %s/mnt/bootloader > /dev/null 2>&1", root);
        run(buf);
        format(buf, "sudo /bin/umount %s/mnt/bootloader > /dev/null 2>&1", root);
        run(buf);
        int fd = open(cache, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd >= 0)
            close(fd);
    }

    /* The image the version lines are read from: the synchronised system
     * image when there is one, else each release's header. */
    char synced[kCommandSize];
    format(synced, "%s/var/sysmgr/ftp/img-sync/curr-vorn.img", root);
    const int use_synced = exists(synced);
    const char *headers[] = {"/var/run/curr-ks.hdr", "/var/run/curr-vorn.hdr"};
    for (int i = 0; i < 2; ++i) {
        if (use_synced)
            format(buf, "%s/vornboot/bin/imghdr Debug %s", root, synced);
        else
            format(buf, "%s/vornboot/bin/imghdr Debug %s%s", root, root, headers[i]);
        read_pipe(buf);
    }

    format(buf, "%s/vorn/bin/flash_size > %s/tmp/sysmgrcli_show_flash_size 2> /dev/null", root,
           root);
    run(buf);
    format(buf, "rm -f %s/tmp/sysmgrcli_show_flash_size 2> /dev/null", root);
    run(buf);
}
