// Runs only the child processes that one call of command 107 runs, with the
// same command lines, for comparing the whole command against them:
//
//   version_children ROOT
//
// ROOT is a file system prepared as the library's root ($SYSMGRCLI_ROOT):
// the flash-size listing into a file and its removal through the shell, the
// image header tool through a pipe for the kickstart and the system image,
// and, when the loader version cache is missing, the mount and unmount of
// the loader store through sudo (the cache is then written, as the library
// does, so the mount happens on the first call only). The sudo stand-in in
// ROOT/.sim-bin is put first on PATH.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool exists(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

void run(const std::string &command) {
    if (std::system(command.c_str()) == -1)
        std::perror("system");
}

void read_pipe(const std::string &command) {
    FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        std::perror("popen");
        return;
    }
    char buf[256];
    while (std::fread(buf, 1, sizeof buf, pipe) > 0) {
    }
    ::pclose(pipe);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fputs("usage: version_children ROOT\n", stderr);
        return 2;
    }
    const std::string root = argv[1];
    const char *path = std::getenv("PATH");
    const std::string search = root + "/.sim-bin:" + (path != nullptr ? path : "/usr/bin:/bin");
    setenv("PATH", search.c_str(), 1);

    const std::string cache = root + "/var/tmp/bootloader_ver";
    if (!exists(cache)) {
        run("sudo /bin/mount -o ro " + root + "/mnt/bootloader > /dev/null 2>&1");
        run("sudo /bin/umount " + root + "/mnt/bootloader > /dev/null 2>&1");
        const int fd = ::open(cache.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd >= 0)
            ::close(fd);
    }
    // The image the version lines are read from: the synchronised system
    // image when there is one, else each release's header.
    const std::string synced = root + "/var/sysmgr/ftp/img-sync/curr-vorn.img";
    const bool use_synced = exists(synced);
    const std::string tool = root + "/vornboot/bin/imghdr Debug ";
    read_pipe(tool + (use_synced ? synced : root + "/var/run/curr-ks.hdr"));
    read_pipe(tool + (use_synced ? synced : root + "/var/run/curr-vorn.hdr"));

    const std::string listing = root + "/tmp/sysmgrcli_show_flash_size";
    run(root + "/vorn/bin/flash_size > " + listing + " 2> /dev/null");
    run("rm -f " + listing + " 2> /dev/null");
    return 0;
}
