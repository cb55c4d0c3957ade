// SPDX-License-Identifier: MIT
// The version and image sources: small readers of one fact each, shared by
// the version reports and exported for other clients.
#include "sources.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "host_io.h"
#include "platform/cli.h"
#include "platform/services.h"
#include "plumbing.h"
#include "print.h"
#include "root_path.h"
#include "sysmgrcli/sysmgrcli.h"
#include "tags.h"

namespace sysmgrcli {

namespace {

constexpr const char kCmdlinePath[] = "/proc/cmdline";
constexpr const char kNoAutoSyncPath[] = "/var/log/no-img-auto-sync";
constexpr const char kForceDownloadUri[] = "image://sup-remote/running-kickstart";
constexpr const char kLoaderCachePath[] = "/var/tmp/bootloader_ver";
constexpr const char kLoaderMountPoint[] = "/mnt/bootloader";
constexpr const char kLoaderReleaseFile[] = "/mnt/bootloader/srg-sloader.sro";
constexpr const char kImageHeaderTool[] = "/vornboot/bin/imghdr";

/* The kernel command line and status files are read one line of this size. */
constexpr std::size_t kLineSize = 256;
/* The static result buffer of read_file_str. */
constexpr std::size_t kFirstLineSize = 128;
/* extract_date_and_version's outputs are 32 bytes, zero-filled by the caller. */
constexpr std::size_t kPieceMax = 31;
/* What separates the words of a flash-size listing line. */
constexpr const char kBlanks[] = " \t\r\n\v\f";

/* Image build kinds that the image header tool reports. */
struct BuildKind {
    long number;
    const char *marker;
};
constexpr BuildKind kBuildKinds[] = {
    {.number = 2, .marker = " [gdb]"},
    {.number = 3, .marker = " [insure]"},
};

/* An image header from img_open(), closed once when its owner goes. */
class ImageHeader {
  public:
    explicit ImageHeader(void *image) noexcept : image_(image) {}
    ~ImageHeader() {
        if (image_ != nullptr)
            img_close(image_);
    }
    ImageHeader(const ImageHeader &) = delete;
    ImageHeader &operator=(const ImageHeader &) = delete;
    void *get() const noexcept { return image_; }

  private:
    void *image_;
};

/*
 * copy_text for a caller's buffer whose size comes as a signed number:
 * nothing is written when it is not positive.
 */
void copy_cut(char *buf, int32_t size, const char *text, std::size_t len = SIZE_MAX) {
    if (size > 0)
        copy_text(buf, static_cast<std::size_t>(size), text, len);
}

/*
 * The release version of the boot loader store, read with the store mounted
 * read-only for the time of the read. False when the shell cannot be run.
 */
bool read_loader_store_version(const char **version) {
    static constexpr const char kOperation[] = "sysmgr_get_loader_ver_information";
    char mount[kCommandSize];
    char umount[kCommandSize];
    bool mount_ok = build_command(mount, sizeof mount, kOperation,
                                  "sudo /bin/mount -o ro %s > /dev/null 2>&1", {kLoaderMountPoint});
    // A mount that cannot run counts as a failed mount: the read goes on. A
    // negative result (ECHILD too, in a host that ignores SIGCHLD, after the
    // mount has run) ends the fill here, and the partition stays mounted.
    if (mount_ok && sys.system(mount) < 0)
        return false;
    *version = srg_sw_interim_ver_file_get(kLoaderReleaseFile);
    if (mount_ok && build_command(umount, sizeof umount, kOperation,
                                  "sudo /bin/umount %s > /dev/null 2>&1", {kLoaderMountPoint})) {
        if (sys.system(umount) == -1) {
            // A store left mounted does not change the version read.
        }
    }
    return true;
}

/*
 * Creates the loader version cache and fills it from the loader store, then
 * opens it for reading. Null when it cannot be created or reopened, or the
 * shell cannot be run. A store without a version leaves the cache empty.
 */
File fill_loader_cache() {
    RootedPath path(kLoaderCachePath);
    if (path.c_str() == nullptr)
        return nullptr;
    // Without waiting, and only into a regular file: a named pipe or device
    // at the path is no cache, and a link planted in the world-writable
    // directory is not followed to create or fill a file elsewhere.
    Fd cache(open_descriptor(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW, 0666));
    struct stat st;
    if (cache.get() < 0 || sys.fstat(cache.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    const char *version = nullptr;
    if (!read_loader_store_version(&version))
        return nullptr;
    if (version != nullptr)
        write_all(cache.get(), version, std::strlen(version) + 1);
    sys.fsync(cache.get());
    cache.close();
    return open_rooted(kLoaderCachePath, O_NOFOLLOW);
}

/*
 * The image's build kind from the image header tool: the number it prints
 * first. False when it prints no number; *started is false when the tool
 * could not be started at all.
 */
bool image_build_kind(const char *image_path, long *kind, bool *started) {
    *started = true;
    char command[kCommandSize];
    if (!build_command(command, sizeof command, "get_sw_ver_string", "%s Debug %s",
                       {kImageHeaderTool, image_path}))
        return false;
    Pipe pipe(sys.popen(command, "re"));
    if (!pipe) {
        *started = false;
        return false;
    }
    char token[24];
    if (!TextReader(pipe.get()).word(token, sizeof token, "-+0123456789"))
        return false;
    char *end = nullptr;
    errno = 0;
    *kind = std::strtol(token, &end, 10);
    return end != token && errno == 0;
}

/* The value of one flash-size listing line: the number after its first word. */
bool listing_number(const char *line, int32_t *value) {
    const char *p = line + std::strspn(line, kBlanks);
    p += std::strcspn(p, kBlanks);
    char *end = nullptr;
    errno = 0;
    long n = std::strtol(p, &end, 10);
    if (end == p || errno != 0 || n < INT32_MIN || n > INT32_MAX)
        return false;
    *value = static_cast<int32_t>(n);
    return true;
}

/*
 * Reads the next listing entry: one whole line that is not blank, keeping
 * its first size - 1 bytes. False at the end of the file.
 */
bool read_entry(TextReader &listing, char *buf, std::size_t size) {
    do {
        if (!listing.line(buf, size))
            return false;
        if (std::strchr(buf, '\n') == nullptr) {
            int c;
            while ((c = listing.get()) != EOF && c != '\n') {
            }
        }
    } while (buf[std::strspn(buf, kBlanks)] == '\0');
    return true;
}

} // namespace

const char *sw_ver_string(const char *release_path, const char *image_path, char *text,
                          std::size_t size) noexcept {
    const CallRoot root;
    const char *version = srg_sw_ver_file_get(release_path);
    const char *interim = srg_sw_interim_ver_file_get(release_path);
    if (version == nullptr || size == 0)
        return "[not available]";

    text[0] = '\0';
    append_text(text, size, "%.255s", version);
    if (interim != nullptr && std::strcmp(interim, version) != 0)
        append_text(text, size, " [build %.255s]", interim);

    long kind = 0;
    bool started = true;
    if (image_build_kind(image_path, &kind, &started)) {
        for (const BuildKind &k : kBuildKinds)
            if (k.number == kind)
                append_text(text, size, "%s", k.marker);
    } else if (!started) {
        append_text(text, size, "%s", "Could not open imghdr file\n");
    }
    text[size - 1] = '\0';
    return text;
}

} // namespace sysmgrcli

using namespace sysmgrcli;

extern "C" {

SYSMGRCLI_EXPORT int sysmgr_get_loader_ver(char *buf, int32_t size) {
    const CallRoot root;
    char line[kLineSize];
    {
        File cmdline = open_rooted(kCmdlinePath);
        if (!cmdline) {
            say(stdout, "%s Couldn't open cmdline file \n", "sysmgr_get_loader_ver");
            return -1;
        }
        TextReader(cmdline.get()).line(line, sizeof line);
    }

    if (const char *key = std::strstr(line, "loader_ver=")) {
        const char *quote = std::strchr(key, '"');
        if (quote == nullptr)
            return -1;
        const char *start = quote + std::strspn(quote, "\"");
        std::size_t len = std::strcspn(start, "\"");
        if (len == 0)
            return -1;
        copy_cut(buf, size, start, len);
        return 0;
    }

    struct stat st;
    if (stat_rooted(kNoAutoSyncPath, &st) == 0) {
        copy_cut(buf, size, "image booted through mgmt0");
        return 0;
    }
    if (errno != ENOENT) {
        say(stdout, "stat of /var/log/no-img-auto-sync returned errno %d\n", errno);
        return -1;
    }

    if (stat_rooted(kKickstartUriPath, &st) == 0) {
        File uri = open_rooted(kKickstartUriPath);
        if (!uri) {
            say(stdout, "fopen() failed with errno %d\n", errno);
            return -1;
        }
        TextReader(uri.get()).line(line, sizeof line);
        if (std::strcmp(line, kForceDownloadUri) == 0) {
            copy_cut(buf, size, "image booted through force-dnld");
            return 0;
        }
    } else if (errno != ENOENT) {
        say(stdout, "stat of /var/log/current_ks.uri returned errno %d\n", errno);
        return -1;
    }

    copy_cut(buf, size, "loader version not available");
    return 0;
}

SYSMGRCLI_EXPORT char *sysmgr_get_loader_ver_information(char *buf, int32_t size) {
    if (size <= 0)
        return nullptr;
    const CallRoot root;
    buf[0] = '\0';
    // A link at the path is no cache: the fill then fails on it too.
    File cache = open_rooted(kLoaderCachePath, O_NOFOLLOW);
    if (!cache)
        cache = fill_loader_cache();
    if (!cache)
        return nullptr;
    TextReader reader(cache.get());
    std::size_t n = 0;
    for (int c; n < static_cast<std::size_t>(size) && (c = reader.get()) != EOF;)
        buf[n++] = static_cast<char>(c);
    if (n == 0 || reader.failed())
        return nullptr;
    // The cache holds the text with its NUL; anything else is cut to fit.
    if (std::memchr(buf, '\0', n) == nullptr)
        buf[std::min(n, static_cast<std::size_t>(size) - 1)] = '\0';
    return buf;
}

SYSMGRCLI_EXPORT char *get_sw_ver_string(const char *release_path, const char *image_path) {
    static char text[kVersionTextSize];
    static char not_available[] = "[not available]";
    return sw_ver_string(release_path, image_path, text, sizeof text) == text ? text
                                                                              : not_available;
}

SYSMGRCLI_EXPORT int32_t read_flash_size_file_item(const char *path, int32_t n) {
    const CallRoot root;
    File listing = open_rooted(path);
    if (!listing)
        return 0;
    TextReader reader(listing.get());
    int32_t value = 0;
    char line[kLineSize];
    for (int64_t i = 0; i <= n; ++i) {
        if (!read_entry(reader, line, sizeof line))
            return 0;
        listing_number(line, &value);
    }
    return value;
}

SYSMGRCLI_EXPORT char *read_file_str(const char *path) {
    const CallRoot root;
    static char line[kFirstLineSize];
    read_first_line(path, line, sizeof line);
    return line;
}

SYSMGRCLI_EXPORT void get_image_timestamp(const char *path, void *rx, uint32_t tag) {
    int32_t error = 0;
    ImageHeader image(img_open(path, &error));
    if (error != 0 || image.get() == nullptr) {
        cmd_dprt(rx, " [could not extract timestamp: %s]\n", syserr_text(error));
        return;
    }
    const std::time_t built = img_timestamp(image.get());
    std::tm local;
    char stamp[128];
    // A 32-bit time always has a calendar date, and its text always fits.
    // GCOVR_EXCL_START
    if (localtime_r(&built, &local) == nullptr)
        return;
    if (std::strftime(stamp, sizeof stamp, "%m/%d/%Y %H:%M:%S", &local) == 0) {
        cmd_prt(rx, " [Error in formatting timestamp]\n");
        return;
    }
    // GCOVR_EXCL_STOP
    cmd_prt(rx, "[");
    print_text(rx, tag, stamp);
    cmd_prt(rx, "]\n");
}

SYSMGRCLI_EXPORT void disp_time(int32_t stamp, int32_t type, void *rx, uint32_t tag) {
    if (type > 10) {
        cmd_prt(rx, "Unknown type of image supplied\n");
        return;
    }
    const int hour = stamp % 100;
    const int day = stamp / 100 % 100;
    const int month = stamp / 10000 % 100;
    const int year = stamp / 1000000 + 2000;
    print_formatted_value(rx, tag, " %d/%d/%d %d:00:00", month, day, year, hour);
    cmd_prt(rx, " ");
}

SYSMGRCLI_EXPORT void extract_date_and_version(const char *text, char *version, char *date) {
    const char *v = std::strchr(text, 'v');
    const char *open = std::strchr(text, '(');
    const char *close = std::strchr(text, ')');
    if (v == nullptr || open == nullptr || open < v)
        return;
    std::memcpy(version, v + 1, std::min<std::size_t>(open - v - 1, kPieceMax));
    if (close != nullptr && close > open)
        std::memcpy(date, open + 1, std::min<std::size_t>(close - open - 1, kPieceMax));
}

SYSMGRCLI_EXPORT int exists_dev_slot0(void) {
    if (pdb_is_bellwick_chassis() != 0)
        return 0;
    // The scheme's details are not used; the storage only has to be there.
    alignas(8) unsigned char details[256] = {};
    return urifs_scheme_validate("slot0", details) == 0 ? 1 : 0;
}

SYSMGRCLI_EXPORT void print_show_version_string(const char *text, void *rx) {
    print_text(rx, tags::version::version_string, text);
    cmd_prt(rx, "\n");
}

SYSMGRCLI_EXPORT void change_display(char *out, const char *path) {
    if (path[0] == '\0') {
        out[0] = '\0';
        return;
    }
    const char *p = path + 1;
    std::size_t device = std::strcspn(p, "/");
    std::memcpy(out, p, device);
    out += device;
    p += device;
    if (*p == '/') {
        // "/dev/name" becomes "dev:///name", "/dev//name" becomes "dev://name".
        const bool doubled = p[1] == '/';
        std::memcpy(out, doubled ? "://" : ":///", doubled ? 3 : 4);
        out += doubled ? 3 : 4;
        p += doubled ? 2 : 1;
    }
    std::size_t rest = std::strlen(p);
    std::memcpy(out, p, rest + 1);
}

} // extern "C"
