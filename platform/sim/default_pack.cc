// SPDX-License-Identifier: MIT
// Writes the default scenario (argv[1]) as the source of a C++ array of its
// MessagePack encoding. The simulator builds its default document from that
// at every start: the same document as the JSON text gives, without lexing
// it. A default that does not parse fails the build.
#include <cstdio>
#include <fstream>
#include <vector>

#include <nlohmann/json.hpp>

int main(int argc, char **argv) {
    if (argc != 2)
        return 2;
    std::ifstream in(argv[1]);
    const std::vector<std::uint8_t> bytes =
        nlohmann::ordered_json::to_msgpack(nlohmann::ordered_json::parse(in));
    std::printf("// Generated from scenarios/default.json; edit that file.\n"
                "#include \"sim_internal.h\"\n\n"
                "namespace sysmgrsim::detail {\n\n"
                "extern const unsigned char kDefaultScenarioPacked[] = {");
    for (std::size_t i = 0; i < bytes.size(); ++i)
        std::printf("%s%u,", i % 16 == 0 ? "\n    " : "", static_cast<unsigned>(bytes[i]));
    std::printf("\n};\nextern const std::size_t kDefaultScenarioPackedSize = %zu;\n\n"
                "} // namespace sysmgrsim::detail\n",
                bytes.size());
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
