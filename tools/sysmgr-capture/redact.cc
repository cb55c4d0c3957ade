// SPDX-License-Identifier: MIT
// Redaction: serial numbers, host names, addresses and image paths replaced
// by placeholders made from a hash of their text, in every text of the
// capture, so that one value reads the same wherever it appears and in every
// capture taken of the same switch.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <regex>
#include <set>

#include "capture.h"

namespace sysmgrcapture {

namespace {

using ojson = nlohmann::ordered_json;

std::string hash8(const std::string &text) {
    uint32_t h = 2166136261u; // FNV-1a
    for (const unsigned char c : text)
        h = (h ^ c) * 16777619u;
    char out[9];
    std::snprintf(out, sizeof out, "%08x", h);
    return out;
}

bool word_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-' || c == '.';
}

class Redactor {
  public:
    /* A value known by where the platform gave it, replaced wherever it stands as a word. */
    void literal(const char *kind, const std::string &value, const std::string &placeholder) {
        if (!value.empty())
            literals_.push_back({kind, value, placeholder});
    }

    std::string apply(std::string text) {
        for (const auto &l : literals_) {
            for (std::size_t at = 0; (at = text.find(l.value, at)) != std::string::npos;) {
                const std::size_t end = at + l.value.size();
                if ((at > 0 && word_char(text[at - 1])) ||
                    (end < text.size() && word_char(text[end]))) {
                    at = end;
                    continue;
                }
                text.replace(at, l.value.size(), l.placeholder);
                at += l.placeholder.size();
                used_[l.kind].insert(l.placeholder);
            }
        }
        for (const auto &p : patterns_) {
            std::string out;
            auto last = text.cbegin();
            for (std::sregex_iterator it(text.begin(), text.end(), p.pattern), end; it != end;
                 ++it) {
                out.append(last, (*it)[0].first);
                const std::string placeholder = p.make((*it)[0].str());
                out += placeholder;
                used_[p.kind].insert(placeholder);
                last = (*it)[0].second;
            }
            out.append(last, text.cend());
            text = std::move(out);
        }
        return text;
    }

    void apply(ojson &value) {
        if (value.is_string()) {
            value = apply(value.get<std::string>());
        } else if (value.is_structured()) {
            for (auto &member : value)
                apply(member);
        }
    }

    std::vector<std::string> report() const {
        std::vector<std::string> lines;
        for (const auto &[kind, placeholders] : used_) {
            std::string line = kind + ":";
            for (const std::string &p : placeholders)
                line += " " + p;
            lines.push_back(line);
        }
        return lines;
    }

  private:
    struct Literal {
        std::string kind, value, placeholder;
    };
    struct Pattern {
        std::string kind;
        std::regex pattern;
        std::function<std::string(const std::string &)> make;
    };
    std::vector<Literal> literals_;
    const std::vector<Pattern> patterns_ = {
        // The directory and scheme stay, so the report still names the device.
        {"image path", std::regex(R"((?:[A-Za-z0-9]+:/{2,3}|/)[^\s"':]*\.bin\b)"),
         [](const std::string &path) {
             const std::size_t slash = path.rfind('/');
             return path.substr(0, slash + 1) + "image-" + hash8(path.substr(slash + 1)) + ".bin";
         }},
        {"MAC address", std::regex(R"(\b(?:[0-9A-Fa-f]{2}[:-]){5}[0-9A-Fa-f]{2}\b)"),
         [](const std::string &mac) {
             const std::string h = hash8(mac);
             return "02:00:" + h.substr(0, 2) + ":" + h.substr(2, 2) + ":" + h.substr(4, 2) + ":" +
                    h.substr(6, 2);
         }},
        {"IPv4 address", std::regex(R"(\b(?:\d{1,3}\.){3}\d{1,3}\b)"),
         [](const std::string &address) {
             const uint32_t h = static_cast<uint32_t>(std::stoul(hash8(address), nullptr, 16));
             return "10." + std::to_string(h >> 16 & 0xFF) + "." + std::to_string(h >> 8 & 0xFF) +
                    "." + std::to_string(h & 0xFF);
         }},
    };
    std::map<std::string, std::set<std::string>> used_;
};

std::string text_at(const ojson &scenario, const char *object, const char *member) {
    if (!scenario.contains(object) || !scenario[object].contains(member) ||
        !scenario[object][member].is_string())
        return "";
    const std::string text = scenario[object][member].get<std::string>();
    return text.substr(0, text.find('\0'));
}

} // namespace

void redact(Capture &capture) {
    Redactor r;
    const std::string serial = text_at(capture.scenario, "chassis", "serial");
    r.literal("serial number", serial, "SERIAL-" + hash8(serial));
    const std::string host = text_at(capture.scenario, "hostname", "name");
    r.literal("host name", host, "host-" + hash8(host));
    r.apply(capture.scenario);
    for (FoundFile &f : capture.files) {
        f.data = r.apply(f.data);
        f.target = r.apply(f.target);
    }
    for (Source &s : capture.sources) {
        s.ran = r.apply(s.ran);
        s.from = r.apply(s.from);
    }
    capture.command = r.apply(capture.command);
    capture.redacted = r.report();
}

} // namespace sysmgrcapture
