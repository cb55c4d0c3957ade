// SPDX-License-Identifier: MIT
// Redaction: identifying values replaced, in every text of the capture, by
// placeholders of the same shape made with HMAC-SHA-256 under a secret key.
#include <arpa/inet.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <set>

#include <nettle/base16.h>
#include <nettle/hmac.h>

#include "capture.h"

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
    std::string wrong;
    struct stat st {};
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0)
        wrong = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        wrong = "not a regular file";
    else if ((st.st_mode & (S_IRGRP | S_IROTH)) != 0)
        wrong = "group or others can read it (chmod 600)";
    unsigned char bytes[33]; // one more than a key, to see a longer file
    std::size_t got = 0;
    for (ssize_t n = 1; wrong.empty() && n != 0 && got < sizeof bytes;) {
        if ((n = read(fd.get(), bytes + got, sizeof bytes - got)) < 0 && errno != EINTR)
            wrong = std::strerror(errno);
        got += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
    }
    if (wrong.empty() && got != key.bytes.size())
        wrong = "not exactly " + std::to_string(key.bytes.size()) + " bytes";
    std::copy_n(bytes, wrong.empty() ? key.bytes.size() : 0, key.bytes.begin());
    explicit_bzero(bytes, sizeof bytes);
    key.given = wrong.empty();
    if (!wrong.empty())
        problem = "--redact-key " + path + ": " + wrong;
    return wrong.empty();
}

namespace {

using ojson = nlohmann::ordered_json;
using Digest = std::array<unsigned char, SHA256_DIGEST_SIZE>;

bool alnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
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

/* The character at, or a space outside the text. */
char at(const std::string &text, std::size_t i) {
    return i < text.size() ? text[i] : ' ';
}

/* A word of a name ends here: no letter, digit, '_' or '-', nor a dot that goes on. */
bool name_ends(const std::string &text, std::size_t end) {
    const char c = at(text, end);
    return !alnum(c) && c != '_' && c != '-' && !(c == '.' && alnum(at(text, end + 1)));
}

bool name_starts(const std::string &text, std::size_t begin) {
    const char c = begin > 0 ? text[begin - 1] : ' ';
    return !alnum(c) && c != '_' && c != '-' && c != '.';
}

bool name_char(char c) {
    return alnum(c) || c == '-' || c == '.';
}

/*
 * Where a host or domain name that starts at b ends: its run of name
 * characters, at most 253, without a final dot or hyphen.
 */
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

/* Dotted names that end like a file name are file names, not domains. */
const std::set<std::string> kFileEndings = {
    "bin", "c",  "cc", "cfg", "conf", "gz",  "h",   "hdr", "img", "include", "ini",  "js",   "log",
    "out", "py", "sh", "so",  "sro",  "tar", "tgz", "txt", "uri", "xml",     "json", "yaml", "zip"};

using Spans = std::vector<std::pair<std::size_t, std::size_t>>;

class Redactor {
  public:
    Redactor(const RedactKey &key, const std::string &host, const std::string &serial) {
        hmac_sha256_set_key(&mac_, key.bytes.size(), key.bytes.data());
        // A fully qualified host name: its short name and its domain each
        // have a placeholder, and the whole name is the two joined.
        // A name of digits and dots (an address given as the name) would
        // match every such number: the address patterns take it.
        const std::string fqdn = host.find_first_not_of("0123456789.") == host.npos
                                     ? ""
                                     : host.substr(0, host.find_last_not_of('.') + 1);
        const std::size_t dot = fqdn.find('.');
        const std::string short_name = fqdn.substr(0, dot);
        const std::string domain = dot == std::string::npos ? "" : fqdn.substr(dot + 1);
        if (!short_name.empty() && !domain.empty() && dotted_name(fqdn))
            literal(fqdn, name_starts, name_ends, [this, short_name, domain](const std::string &) {
                return host_name(short_name) + "." + domain_name(domain);
            });
        literal(short_name, name_starts, name_ends,
                [this](const std::string &m) { return host_name(m); });
        literal(domain, name_starts, name_ends,
                [this](const std::string &m) { return domain_name(m); });
        // A serial stands apart from letters and digits only: a suffix after
        // a separator, or a lower-case spelling, is still the serial. Shorter
        // ones would match everywhere.
        if (serial.size() >= 4)
            literal(
                serial,
                [](const std::string &t, std::size_t b) { return b == 0 || !alnum(t[b - 1]); },
                [](const std::string &t, std::size_t e) { return !alnum(at(t, e)); },
                [this](const std::string &m) { return serial_number(m); });
        add_patterns();
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
            Spans spans;
            rules_[r].find(text, low, spans);
            for (const auto &[b, e] : spans)
                found.push_back({b, e, r});
        }
        std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
            return a.begin != b.begin ? a.begin < b.begin
                   : a.end != b.end   ? a.end > b.end
                                      : a.rule < b.rule;
        });
        std::string out;
        std::size_t done = 0;
        for (const Found &f : found) {
            if (f.begin < done)
                continue;
            out.append(text, done, f.begin - done);
            out += rules_[f.rule].make(text.substr(f.begin, f.end - f.begin));
            done = f.end;
        }
        out.append(text, done);
        return out;
    }

    void apply(ojson &value) {
        if (value.is_string()) {
            value = apply(value.get<std::string>());
        } else if (value.is_structured()) {
            for (auto &member : value)
                apply(member);
        }
    }

    std::vector<std::string> report(bool given) {
        const Digest print = hmac("fingerprint");
        std::vector<std::string> lines = {
            "key: fingerprint " + hex(print.data(), 8) +
            " (the first 16 hex digits of HMAC-SHA-256 of \"fingerprint\" under the key); " +
            (given ? "the key of --redact-key"
                   : "a random key, drawn for this capture and not kept")};
        for (const auto &[kind, placeholders] : used_) {
            std::string line = kind + ":";
            for (const std::string &p : placeholders)
                line += " " + p;
            lines.push_back(line);
        }
        return lines;
    }

  private:
    struct Rule {
        std::function<void(const std::string &text, const std::string &low, Spans &)> find;
        std::function<std::string(const std::string &match)> make;
    };
    using Edge = std::function<bool(const std::string &, std::size_t)>;

    /* A value the platform gave, wherever it stands alone, in any case. */
    void literal(const std::string &value, Edge starts, Edge ends,
                 std::function<std::string(const std::string &)> make) {
        if (std::none_of(value.begin(), value.end(), alnum))
            return; // nothing that tells a switch apart
        rules_.push_back({[value = cased(value), starts,
                           ends](const std::string &text, const std::string &low, Spans &spans) {
                              for (std::size_t b = 0; (b = low.find(value, b)) != low.npos; ++b)
                                  if (starts(text, b) && ends(text, b + value.size()))
                                      spans.push_back({b, b + value.size()});
                          },
                          std::move(make)});
    }

    /* A regular expression's matches (or one group's) that valid accepts. */
    void pattern(const char *re, int group, Edge valid_at, Edge valid_end,
                 std::function<std::string(const std::string &)> make) {
        rules_.push_back({[re = std::regex(re, std::regex::icase), group, valid_at,
                           valid_end](const std::string &text, const std::string &, Spans &spans) {
                              for (std::sregex_iterator it(text.begin(), text.end(), re), end;
                                   it != end; ++it) {
                                  const auto b = static_cast<std::size_t>(it->position(group));
                                  const std::size_t e = b + (*it)[group].length();
                                  if (valid_at(text, b) && valid_end(text, e))
                                      spans.push_back({b, e});
                              }
                          },
                          std::move(make)});
    }

    void add_patterns();
    std::string mac_address(const std::string &m, std::size_t group);

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
            if (p != value && taken_.insert(p).second) {
                used_[kind].insert(p);
                return given_[message] = p;
            }
        }
    }

    std::string host_name(const std::string &name) {
        return placeholder("host name", cased(name),
                           [](const Digest &d) { return "host-" + hex(d.data(), 4); });
    }

    std::string domain_name(const std::string &name) {
        return placeholder("domain", cased(name), [](const Digest &d) {
            return "domain-" + hex(d.data(), 4) + ".invalid";
        });
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
    std::map<std::string, std::set<std::string>> used_;
};

bool anywhere(const std::string &, std::size_t) {
    return true;
}

bool hex_digit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

void Redactor::add_patterns() {
    // E-mail addresses, found by their '@'.
    rules_.push_back(
        {[](const std::string &text, const std::string &, Spans &spans) {
             for (std::size_t at_sign = 0; (at_sign = text.find('@', at_sign)) != text.npos;
                  ++at_sign) {
                 std::size_t b = at_sign;
                 while (b > 0 && at_sign - b < 64 &&
                        (alnum(text[b - 1]) || std::strchr("._%+-", text[b - 1]) != nullptr))
                     --b;
                 const std::size_t e = name_end(text, at_sign + 1);
                 if (b < at_sign && dotted_name(text.substr(at_sign + 1, e - at_sign - 1)))
                     spans.push_back({b, e});
             }
         },
         [this](const std::string &address) {
             const std::string user =
                 placeholder("e-mail address", cased(address),
                             [](const Digest &d) { return "user-" + hex(d.data(), 4); });
             return user + "@" + domain_name(address.substr(address.find('@') + 1));
         }});
    // An image: a name ending in .bin, with whatever path or URL leads to it.
    // The name gets the placeholder; the path keeps its form, its addresses
    // and names redacted like any other text.
    rules_.push_back({[](const std::string &text, const std::string &low, Spans &spans) {
                          std::size_t floor = 0; // where the last image ended
                          for (std::size_t e = 0; (e = low.find(".bin", e)) != low.npos;) {
                              e += 4;
                              if (alnum(at(text, e)) || at(text, e) == '_')
                                  continue;
                              std::size_t b = e - 4;
                              while (b > floor && e - b < 1024 &&
                                     std::strchr(" \t\r\n\"'`<>=,;()[]{}|", text[b - 1]) ==
                                         nullptr &&
                                     std::isprint(static_cast<unsigned char>(text[b - 1])) != 0)
                                  --b;
                              const std::size_t name = text.find_last_of("/:", e - 1);
                              if ((name == text.npos || name < b ? b : name + 1) < e - 4) {
                                  spans.push_back({b, e});
                                  floor = e;
                              }
                          }
                      },
                      [this](const std::string &path) {
                          const std::size_t slash = path.find_last_of("/:");
                          const std::size_t name = slash == path.npos ? 0 : slash + 1;
                          return apply(path.substr(0, name)) +
                                 placeholder("image", path.substr(name), [](const Digest &d) {
                                     return "image-" + hex(d.data(), 4) + ".bin";
                                 });
                      }});
    // MAC addresses: 00:1b:21:3a:4f:5c (or with dashes), 001b.213a.4f5c, and
    // the bare 001B213A4F5C only after a word that names it as one, since
    // twelve hex digits alone may as well be a checksum or a counter.
    const Edge no_dot_before = [](const std::string &t, std::size_t b) {
        return b < 2 || !(t[b - 1] == '.' && alnum(t[b - 2]));
    };
    const Edge no_dot_after = [](const std::string &t, std::size_t e) {
        return !(at(t, e) == '.' && alnum(at(t, e + 1)));
    };
    pattern(R"(\b[0-9a-f]{2}([:-])[0-9a-f]{2}(?:\1[0-9a-f]{2}){4}\b)", 0, anywhere, anywhere,
            [this](const std::string &m) { return mac_address(m, 2); });
    pattern(R"(\b[0-9a-f]{4}\.[0-9a-f]{4}\.[0-9a-f]{4}\b)", 0, no_dot_before, no_dot_after,
            [this](const std::string &m) { return mac_address(m, 4); });
    pattern(R"((?:^|[^a-z0-9])(?:mac|hwaddr|ethaddr|lladdr|ether|bia)(?:[ _-]?addr(?:ess)?)?)"
            R"([ \t]{0,4}[:=]?[ \t]{0,4}([0-9a-f]{12})\b)",
            1, anywhere, anywhere, [this](const std::string &m) { return mac_address(m, 12); });
    // IPv6: a run of hex digits, colons and dots that the C library reads as one.
    rules_.push_back({[](const std::string &text, const std::string &, Spans &spans) {
                          const auto in_run = [](char c) {
                              return hex_digit(c) || c == ':' || c == '.';
                          };
                          for (std::size_t b = 0; b < text.size();) {
                              if (!in_run(text[b])) {
                                  ++b;
                                  continue;
                              }
                              std::size_t e = b;
                              while (e < text.size() && in_run(text[e]))
                                  ++e;
                              std::size_t from = b;
                              if (text[from] == ':' && at(text, from + 1) != ':')
                                  ++from; // "addr:fe80::1"
                              else if (from > 0 && alnum(text[from - 1]))
                                  from = e; // inside a word
                              std::size_t to = e;
                              unsigned char bytes[16];
                              while (to > from && to - from < INET6_ADDRSTRLEN &&
                                     !alnum(at(text, e)) && at(text, e) != '_') {
                                  const std::string run = text.substr(from, to - from);
                                  if (std::count_if(run.begin(), run.end(), hex_digit) > 0 &&
                                      inet_pton(AF_INET6, run.c_str(), bytes) == 1) {
                                      spans.push_back({from, to});
                                      break;
                                  }
                                  if (text[to - 1] != ':' && text[to - 1] != '.')
                                      break;
                                  --to; // a colon or full stop after the address
                              }
                              b = e;
                          }
                      },
                      [this](const std::string &m) {
                          unsigned char bytes[16];
                          char text[INET6_ADDRSTRLEN];
                          inet_pton(AF_INET6, m.c_str(), bytes);
                          inet_ntop(AF_INET6, bytes, text, sizeof text);
                          return placeholder("IPv6 address", text, [](const Digest &d) {
                              unsigned char p[16];
                              std::copy_n(d.begin(), 16, p);
                              p[0] = 0xfd; // a unique local address
                              char out[INET6_ADDRSTRLEN];
                              inet_ntop(AF_INET6, p, out, sizeof out);
                              return std::string(out);
                          });
                      }});
    // IPv4: four numbers up to 255, not part of a longer dotted number.
    pattern(R"(\b\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}\b)", 0,
            [no_dot_before](const std::string &t, std::size_t b) {
                unsigned o[4];
                return no_dot_before(t, b) &&
                       std::sscanf(t.c_str() + b, "%3u.%3u.%3u.%3u", &o[0], &o[1], &o[2], &o[3]) ==
                           4 &&
                       std::max({o[0], o[1], o[2], o[3]}) <= 255;
            },
            no_dot_after,
            [this](const std::string &m) {
                unsigned o[4];
                std::sscanf(m.c_str(), "%3u.%3u.%3u.%3u", &o[0], &o[1], &o[2], &o[3]);
                const std::string value = std::to_string(o[0]) + "." + std::to_string(o[1]) + "." +
                                          std::to_string(o[2]) + "." + std::to_string(o[3]);
                return placeholder("IPv4 address", value, [](const Digest &d) {
                    return "10." + std::to_string(d[0]) + "." + std::to_string(d[1]) + "." +
                           std::to_string(d[2]);
                });
            });
    // Other domain names: dotted names whose last part is a word that no file
    // name ends with, outside paths ("//" leads a URL's host).
    rules_.push_back(
        {[](const std::string &text, const std::string &, Spans &spans) {
             for (std::size_t b = 0; b < text.size(); ++b) {
                 if (!name_char(text[b]))
                     continue;
                 const char before = b > 0 ? text[b - 1] : ' ';
                 const std::size_t e = name_end(text, b);
                 const std::string name = text.substr(b, e - b);
                 const std::string ending = cased(name.substr(name.rfind('.') + 1));
                 if (before != '_' && (before != '/' || (b >= 2 && text[b - 2] == '/')) &&
                     dotted_name(name) && ending.size() >= 2 && ending.size() <= 24 &&
                     std::all_of(
                         ending.begin(), ending.end(),
                         [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }) &&
                     kFileEndings.count(ending) == 0)
                     spans.push_back({b, e});
                 while (b < text.size() && name_char(text[b]))
                     ++b; // the rest of this run is inside the name
             }
         },
         [this](const std::string &m) { return domain_name(m); }});
}

std::string Redactor::mac_address(const std::string &m, std::size_t group) {
    std::string digits;
    char separator = 0;
    for (const char c : m)
        if (hex_digit(c))
            digits += c;
        else if (separator == 0)
            separator = c;
    std::string p = placeholder("MAC address", cased(digits), [](const Digest &d) {
        unsigned char bytes[6];
        std::copy_n(d.begin(), 6, bytes);
        bytes[0] = static_cast<unsigned char>((bytes[0] & 0xfc) | 0x02); // locally administered
        return hex(bytes, 6);
    });
    std::string out;
    for (std::size_t i = 0; i < p.size(); i += group)
        out += (i > 0 && separator != 0 ? std::string(1, separator) : "") + p.substr(i, group);
    return digits != cased(digits) ? cased(out, true) : out;
}

std::string text_at(const ojson &scenario, const char *object, const char *member) {
    if (!scenario.contains(object) || !scenario[object].contains(member) ||
        !scenario[object][member].is_string())
        return "";
    std::string text = scenario[object][member].get<std::string>();
    text = text.substr(0, text.find('\0'));
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first == text.npos ? ""
                              : text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
}

} // namespace

void redact(Capture &capture, const RedactKey &key) {
    Redactor r(key, text_at(capture.scenario, "hostname", "name"),
               text_at(capture.scenario, "chassis", "serial"));
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
    capture.command = r.apply(capture.command);
    capture.redacted = r.report(key.given);
}

} // namespace sysmgrcapture
