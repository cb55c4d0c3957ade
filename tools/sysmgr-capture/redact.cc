// SPDX-License-Identifier: MIT
// Redaction: identifying values replaced, in every text of the capture, by
// placeholders of the same shape made with HMAC-SHA-256 under a secret key.
#include <arpa/inet.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <tuple>

#include <nettle/base16.h>
#include <nettle/hmac.h>

#include "capture.h"
#include "platform/cli.h"

namespace sysmgrcapture {

RedactKey::~RedactKey() {
    explicit_bzero(bytes.data(), bytes.size());
}

bool random_redact_key(RedactKey &key, std::string &problem) {
    // Up to 256 bytes come whole; only a signal while entropy is still missing interrupts.
    key.given = false;
    if (getrandom(key.bytes.data(), key.bytes.size(), 0) == static_cast<ssize_t>(key.bytes.size()))
        return true;
    problem = std::string("cannot draw a redaction key: ") + std::strerror(errno);
    return false;
}

bool load_redact_key(const std::string &path, RedactKey &key, std::string &problem) {
    // Never blocking: a FIFO or a device named here is refused, not waited on.
    const tree::Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    const auto size = static_cast<ssize_t>(key.bytes.size());
    struct stat st {};
    const char *wrong = nullptr;
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0)
        wrong = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        wrong = "not a regular file";
    else if ((st.st_mode & (S_IRGRP | S_IROTH)) != 0)
        wrong = "group or others can read it (chmod 600)";
    else if (st.st_size != size)
        wrong = "not exactly 32 bytes";
    else if (read(fd.get(), key.bytes.data(), key.bytes.size()) != size)
        wrong = "cannot be read whole";
    key.given = wrong == nullptr;
    if (!key.given) {
        key.bytes.fill(0);
        problem = "--redact-key " + path + ": " + wrong;
    }
    return key.given;
}

namespace {

using ojson = nlohmann::ordered_json;
using Digest = std::array<unsigned char, SHA256_DIGEST_SIZE>;

bool alnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

bool one_of(const char *set, char c) {
    return c != '\0' && std::strchr(set, c) != nullptr;
}

std::string cased(std::string text, bool upper = false) {
    for (char &c : text)
        c = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                    : std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string hex(const unsigned char *bytes, std::size_t n) {
    std::string out(BASE16_ENCODE_LENGTH(n), '\0');
    base16_encode_update(out.data(), n, bytes);
    return out;
}

std::string ntop(int family, const unsigned char *bytes) {
    char text[INET6_ADDRSTRLEN];
    return inet_ntop(family, bytes, text, sizeof text);
}

bool name_char(char c) {
    return alnum(c) || c == '-' || c == '.';
}

/* A name ends at most 253 characters on, before its final dots and hyphens. */
std::size_t name_end(const std::string &text, std::size_t b) {
    std::size_t e = b;
    while (e < text.size() && e - b < 253 && name_char(text[e]))
        ++e;
    while (e > b && (text[e - 1] == '.' || text[e - 1] == '-'))
        --e;
    return e;
}

/* Two or more labels of 1 to 63 characters, none starting or ending with a hyphen. */
bool dotted_name(const std::string &name) {
    std::size_t labels = 0;
    for (std::size_t b = 0; b <= name.size(); ++labels) {
        const std::size_t e = std::min(name.find('.', b), name.size());
        if (e == b || e - b > 63 || name[b] == '-' || name[e - 1] == '-')
            return false;
        b = e + 1;
    }
    return labels >= 2;
}

/* A match [b, e) of text, found searching from `from`. */
struct Match {
    const std::string &text;
    std::size_t from, b, e;
    /* The character n before the match, or n after it; a space outside the text. */
    char before(std::size_t n = 1) const { return b >= n ? text[b - n] : ' '; }
    char after(std::size_t n = 0) const { return e + n < text.size() ? text[e + n] : ' '; }
    bool dotted_before() const { return before() == '.' && alnum(before(2)); }
    bool dotted_after() const { return after() == '.' && alnum(after(1)); }
};

/*
 * Whether a match holds a value, its bounds moved to the value's. A check
 * sees what a pattern cannot: behind the match, and past the bounded run
 * that keeps a search linear. No check: the pattern says it all.
 */
using Check = bool (*)(Match &m);

/* Nothing of a name goes on around the host's names, bar a full stop that ends a sentence. */
bool name_alone(Match &m) {
    return !name_char(m.before()) && m.before() != '_' && !alnum(m.after()) &&
           !one_of("_-", m.after()) && !m.dotted_after();
}

/* A serial stands apart from letters and digits only: "SUP0032178-A" holds it. */
bool serial_alone(Match &m) {
    return !alnum(m.before()) && !alnum(m.after());
}

/* The user's name, up to 64 characters before the '@', and a dotted name after it. */
bool email(Match &m) {
    while (m.e - 1 - m.b < 64 && (alnum(m.before()) || one_of("._%+-", m.before())))
        --m.b;
    const std::size_t domain = m.e;
    m.e = name_end(m.text, domain);
    return dotted_name(m.text.substr(domain, m.e - domain));
}

/* An image's name, and the path that leads to it, back to where the last image ended. */
bool image_path(Match &m) {
    while (m.b > m.from && m.e - m.b < 1024 &&
           std::isprint(static_cast<unsigned char>(m.before())) &&
           !one_of(" \"'`<>=,;()[]{}|", m.before()))
        --m.b;
    return true;
}

/* Not part of a longer dotted number or name. */
bool undotted(Match &m) {
    return !m.dotted_before() && !m.dotted_after();
}

/*
 * A whole run of hex digits, colons and dots that the C library reads as one
 * address; a colon may join it to a word before ("addr:fe80::1"), and colons
 * or full stops that end a sentence follow it.
 */
bool ipv6(Match &m) {
    if (m.text[m.b] == ':' && m.text[m.b + 1] != ':')
        ++m.b;
    else if (alnum(m.before()))
        return false;
    for (unsigned char bytes[16]; m.e > m.b && m.e - m.b < INET6_ADDRSTRLEN; --m.e) {
        const std::string run = m.text.substr(m.b, m.e - m.b);
        if (run.find_first_not_of(":.") != run.npos && inet_pton(AF_INET6, run.c_str(), bytes) == 1)
            return true;
        if (!one_of(":.", m.text[m.e - 1]))
            return false;
    }
    return false;
}

bool ipv4(Match &m) {
    unsigned o[4];
    return undotted(m) &&
           std::sscanf(m.text.c_str() + m.b, "%3u.%3u.%3u.%3u", &o[0], &o[1], &o[2], &o[3]) == 4 &&
           std::max({o[0], o[1], o[2], o[3]}) <= 255;
}

/* Dotted names that end like a file name are file names, not domains. */
const std::set<std::string> kFileEndings = {
    "bin", "c",  "cc", "cfg", "conf", "gz",  "h",   "hdr", "img", "include", "ini",  "js",   "log",
    "out", "py", "sh", "so",  "sro",  "tar", "tgz", "txt", "uri", "xml",     "json", "yaml", "zip"};

/*
 * Other domain names: a whole run of name characters, dotted, whose last part
 * is a word no file name ends with; not in a path, though "//" leads a URL's host.
 */
bool domain(Match &m) {
    const bool alone =
        !name_char(m.before()) && m.before() != '_' && (m.before() != '/' || m.before(2) == '/');
    m.e = name_end(m.text, m.b);
    const std::string name = m.text.substr(m.b, m.e - m.b);
    const std::string ending = cased(name.substr(name.rfind('.') + 1));
    return alone && dotted_name(name) && ending.size() >= 2 && ending.size() <= 24 &&
           ending.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == ending.npos &&
           kFileEndings.count(ending) == 0;
}

class Redactor {
  public:
    Redactor(const RedactKey &key, const std::string &host, const std::string &serial) {
        hmac_sha256_set_key(&mac_, key.bytes.size(), key.bytes.data());
        // The host's full name, its short name and its domain. A name of
        // digits and dots (an address given as the name) would match every
        // such number: the address rules take it.
        const std::string full = host.find_first_not_of("0123456789.") == host.npos
                                     ? ""
                                     : host.substr(0, host.find_last_not_of('.') + 1);
        const std::size_t dot = full.find('.');
        if (dotted_name(full))
            literal(full, name_alone, &Redactor::full_name);
        literal(full.substr(0, dot), name_alone, &Redactor::host_name);
        literal(dot == full.npos ? "" : full.substr(dot + 1), name_alone, &Redactor::domain_name);
        if (serial.size() >= 4) // shorter ones would match everywhere
            literal(serial, serial_alone, &Redactor::serial_number);
        // The patterns, in the order that breaks ties. An e-mail address is
        // found by its '@', an image by the last character of its name and
        // its ".bin": their checks grow them from there. A MAC address's bare
        // twelve hex digits only after a word that names them one: alone they
        // may as well be a checksum or a counter.
        const struct {
            const char *pattern;
            int group; // the value, of the match
            Check check;
            Make make;
        } patterns[] = {
            {R"([a-z0-9._%+-]@)", 0, email, &Redactor::email_address},
            {R"([\w!#$%&*+.?@\\^~-]\.bin(?!\w))", 0, image_path, &Redactor::image},
            {R"(\b[0-9a-f]{2}([:-])[0-9a-f]{2}(?:\1[0-9a-f]{2}){4}\b)", 0, nullptr,
             &Redactor::mac_address},
            {R"(\b[0-9a-f]{4}\.[0-9a-f]{4}\.[0-9a-f]{4}\b)", 0, undotted, &Redactor::mac_address},
            {R"((?:^|[^a-z0-9])(?:mac|hwaddr|ethaddr|lladdr|ether|bia)(?:[ _-]?addr(?:ess)?)?)"
             R"([ \t]{0,4}[:=]?[ \t]{0,4}([0-9a-f]{12})\b)",
             1, nullptr, &Redactor::mac_address},
            {R"((?:^|[^0-9a-f:.])([0-9a-f:.]{1,46})(?![\w:.]))", 1, ipv6, &Redactor::ipv6_address},
            {R"(\b\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}\b)", 0, ipv4, &Redactor::ipv4_address},
            {R"([a-z0-9.-]{1,253})", 0, domain, &Redactor::domain_name},
        };
        for (const auto &p : patterns)
            rules_.push_back(
                {"", std::regex(p.pattern, std::regex::icase), p.group, p.check, p.make});
    }
    Redactor(const Redactor &) = delete;
    Redactor &operator=(const Redactor &) = delete;
    ~Redactor() { explicit_bzero(&mac_, sizeof mac_); }

    /*
     * Every value found in text replaced once: where matches overlap, the
     * one that starts first wins, then the longest, then the earlier rule.
     */
    std::string apply(const std::string &text) {
        const std::string low = cased(text);
        struct Found {
            std::size_t begin, end, rule;
        };
        std::vector<Found> found;
        for (std::size_t r = 0; r < rules_.size(); ++r) {
            const Rule &rule = rules_[r];
            const auto add = [&](std::size_t from, std::size_t b, std::size_t e) {
                if (Match m{text, from, b, e}; rule.check == nullptr || rule.check(m))
                    found.push_back({m.b, m.e, r});
            };
            if (!rule.literal.empty())
                for (std::size_t b = 0; (b = low.find(rule.literal, b)) != low.npos; ++b)
                    add(b, b, b + rule.literal.size());
            else
                for (std::sregex_iterator m(text.begin(), text.end(), rule.pattern), end; m != end;
                     ++m)
                    add(m->prefix().first - text.begin(), // the end of the rule's last match
                        m->position(rule.group), m->position(rule.group) + m->length(rule.group));
        }
        std::sort(found.begin(), found.end(), [](const Found &x, const Found &y) {
            return std::tie(x.begin, y.end, x.rule) <
                   std::tie(y.begin, x.end, y.rule); // longest first
        });
        std::string out;
        std::size_t done = 0;
        for (const Found &f : found) {
            if (f.begin < done)
                continue;
            out.append(text, done, f.begin - done);
            out += (this->*rules_[f.rule].make)(text.substr(f.begin, f.end - f.begin));
            done = f.end;
        }
        return out.append(text, done);
    }

    void apply(ojson &value) {
        if (value.is_string())
            value = apply(value.get<std::string>());
        else if (value.is_structured())
            for (auto &member : value)
                apply(member);
    }

    std::vector<std::string> report(bool given) {
        const Digest print = hmac("fingerprint");
        std::vector<std::string> lines = {
            "key: fingerprint " + hex(print.data(), 8) +
            " (the first 16 hex digits of HMAC-SHA-256 of \"fingerprint\" under the key); " +
            (given ? "the key of --redact-key"
                   : "a random key, drawn for this capture and not kept")};
        std::map<std::string, std::set<std::string>> used; // kind -> placeholders
        for (const auto &[message, p] : given_)
            used[message.substr(0, message.find('\0'))].insert(p);
        for (const auto &[kind, placeholders] : used) {
            lines.push_back(kind + ":");
            for (const std::string &p : placeholders)
                lines.back() += " " + p;
        }
        return lines;
    }

  private:
    using Make = std::string (Redactor::*)(const std::string &match);
    struct Rule {
        std::string literal; // a value the platform gave, found in any case; else the pattern
        std::regex pattern;
        int group;
        Check check;
        Make make;
    };

    void literal(const std::string &value, Check check, Make make) {
        if (std::any_of(value.begin(), value.end(), alnum)) // else nothing tells a switch apart
            rules_.push_back({cased(value), std::regex(), 0, check, make});
    }

    /*
     * The placeholder of value: the first shape, over HMAC(kind, value,
     * counter), that no other value of the capture has and that is not the
     * value itself; a long hex name past a few tries (tiny shapes).
     */
    std::string placeholder(const std::string &kind, const std::string &value,
                            const std::function<std::string(const Digest &)> &shape) {
        const std::string message = kind + '\0' + value + '\0';
        if (const auto it = given_.find(message); it != given_.end())
            return it->second;
        for (uint32_t n = 0;; ++n) {
            const char counter[4] = {static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                                     static_cast<char>(n >> 8), static_cast<char>(n)};
            const Digest d = hmac(message + std::string(counter, 4));
            const std::string p = n < 64 ? shape(d) : "REDACTED-" + hex(d.data(), 8);
            if (p != value && taken_.insert(p).second)
                return given_[message] = p;
        }
    }

    /* A name's placeholder: a prefix, eight hex digits, a suffix. */
    std::string named(const char *kind, const std::string &value, const std::string &prefix,
                      const std::string &suffix = "") {
        return placeholder(kind, value,
                           [&](const Digest &d) { return prefix + hex(d.data(), 4) + suffix; });
    }

    std::string host_name(const std::string &m) { return named("host name", cased(m), "host-"); }

    std::string domain_name(const std::string &m) {
        return named("domain", cased(m), "domain-", ".invalid");
    }

    std::string full_name(const std::string &m) {
        return host_name(m.substr(0, m.find('.'))) + "." + domain_name(m.substr(m.find('.') + 1));
    }

    std::string email_address(const std::string &m) {
        const std::string user = named("e-mail address", cased(m), "user-");
        return user + "@" + domain_name(m.substr(m.find('@') + 1));
    }

    /* The file name gets the placeholder; the path keeps its form, its values redacted. */
    std::string image(const std::string &m) {
        const std::size_t name = m.find_last_of("/:") + 1; // 0 without one
        return apply(m.substr(0, name)) + named("image", m.substr(name), "image-", ".bin");
    }

    /* Letters stay letters and digits digits, in the case each had. */
    std::string serial_number(const std::string &serial) {
        const std::string value = cased(serial, true);
        std::string p = placeholder("serial number", value, [&value](const Digest &d) {
            std::string out = value;
            for (std::size_t i = 0; i < out.size(); ++i) {
                const unsigned byte = d[i % d.size()] + i / d.size();
                if (std::isdigit(static_cast<unsigned char>(out[i])) != 0)
                    out[i] = static_cast<char>('0' + byte % 10);
                else if (alnum(out[i]))
                    out[i] = static_cast<char>('A' + byte % 26);
            }
            return out;
        });
        for (std::size_t i = 0; i < p.size() && i < serial.size(); ++i)
            if (std::islower(static_cast<unsigned char>(serial[i])) != 0)
                p[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(p[i])));
        return p;
    }

    /* A locally administered address, grouped as the match is and in its case. */
    std::string mac_address(const std::string &m) {
        std::string digits;
        std::copy_if(m.begin(), m.end(), std::back_inserter(digits), alnum);
        const std::size_t group = std::min<std::size_t>(m.find_first_not_of(digits), 12);
        const std::string p = placeholder("MAC address", cased(digits), [](const Digest &d) {
            Digest bytes = d;
            bytes[0] = static_cast<unsigned char>((bytes[0] & 0xfc) | 0x02);
            return hex(bytes.data(), 6);
        });
        std::string out;
        for (std::size_t i = 0; i < p.size(); i += group)
            out += (i > 0 ? m.substr(group, 1) : "") + p.substr(i, group);
        return digits != cased(digits) ? cased(out, true) : out;
    }

    /* A unique local address. */
    std::string ipv6_address(const std::string &m) {
        unsigned char bytes[16];
        inet_pton(AF_INET6, m.c_str(), bytes);
        return placeholder("IPv6 address", ntop(AF_INET6, bytes), [](const Digest &d) {
            Digest bytes = d;
            bytes[0] = 0xfd;
            return ntop(AF_INET6, bytes.data());
        });
    }

    /* An address in 10.0.0.0/8; leading zeros do not make another value. */
    std::string ipv4_address(const std::string &m) {
        const std::string value = std::regex_replace(m, std::regex(R"(\b0+(\d))"), "$1");
        return placeholder("IPv4 address", value, [](const Digest &d) {
            return "10." + std::to_string(d[0]) + "." + std::to_string(d[1]) + "." +
                   std::to_string(d[2]);
        });
    }

    /* HMAC-SHA-256 under the key; the context keeps the key for the next message. */
    Digest hmac(const std::string &message) {
        Digest d;
        hmac_sha256_update(&mac_, message.size(),
                           reinterpret_cast<const uint8_t *>(message.data()));
        hmac_sha256_digest(&mac_, d.size(), d.data());
        return d;
    }

    hmac_sha256_ctx mac_;
    std::vector<Rule> rules_;
    std::map<std::string, std::string> given_; // kind, value -> placeholder
    std::set<std::string> taken_;
};

/* A member of the scenario as text, to its first NUL, without surrounding blanks. */
std::string text_at(const ojson &scenario, const char *pointer) {
    const ojson::json_pointer p(pointer);
    std::string text =
        scenario.contains(p) && scenario[p].is_string() ? scenario[p].get<std::string>() : "";
    text = text.substr(0, text.find('\0'));
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first == text.npos ? ""
                              : text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
}

} // namespace

void redact(Capture &capture, const RedactKey &key) {
    Redactor r(key, text_at(capture.scenario, "/hostname/name"),
               text_at(capture.scenario, "/chassis/serial"));
    r.apply(capture.scenario);
    for (FoundFile &f : capture.files) {
        f.data = r.apply(f.data);
        f.target = r.apply(f.target);
    }
    for (Source &s : capture.sources) {
        s.ran = r.apply(s.ran);
        s.from = r.apply(s.from);
    }
    for (std::string &n : capture.notes)
        n = r.apply(n);
    // What the library printed: texts and text values (a value's length follows its
    // placeholder's); cmd_prt's text is rendered from the values afterwards.
    for (Printed &p : capture.printed) {
        p.text = r.apply(p.text);
        if (p.value && CMD_TAG_KIND(p.tag) == CMD_KIND_TEXT) {
            const std::size_t end = std::min(p.value->find('\0'), p.value->size());
            const std::string text = r.apply(p.value->substr(0, end));
            p.len = static_cast<uint32_t>(p.len - end + text.size());
            p.value = text + p.value->substr(end);
        }
    }
    capture.command = r.apply(capture.command);
    capture.redacted = r.report(key.given);
}

} // namespace sysmgrcapture
