// The plant and soil library (src/nutrients/source/) stands alone: its
// files include nothing of the model, and of the model only the nutrient
// coupling (src/nutrients/) includes the library's headers. Read from the
// includes of the source tree, quoted or angled, a name resolved beside
// the including file or under src/ as the compiler resolves it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;

bool inside(const fs::path& file, const fs::path& folder) {
    const std::string f = file.lexically_normal().string(), d = folder.lexically_normal().string() + "/";
    return f.compare(0, d.size(), d) == 0;
}

// The project file an include names, or empty for one outside the tree
// (the standard library and other libraries).
fs::path resolve(const fs::path& src, const fs::path& including, const std::string& name, bool quoted) {
    if (quoted) {
        const fs::path beside = (including.parent_path() / name).lexically_normal();
        if (fs::exists(beside)) return beside;
    }
    const fs::path under = (src / name).lexically_normal();
    return fs::exists(under) ? under : fs::path();
}

// The name an include line gives, with `quoted` set for "..." (else
// <...>); false for another line.
bool included_name(const std::string& line, std::string& name, bool& quoted) {
    std::size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line[at] != '#') return false;
    at = line.find_first_not_of(" \t", at + 1);
    if (at == std::string::npos || line.compare(at, 7, "include") != 0) return false;
    at = line.find_first_not_of(" \t", at + 7);
    if (at == std::string::npos || (line[at] != '"' && line[at] != '<')) return false;
    quoted = line[at] == '"';
    const std::size_t end = line.find(quoted ? '"' : '>', at + 1);
    if (end == std::string::npos) return false;
    name = line.substr(at + 1, end - at - 1);
    return true;
}

// One line per include that breaks the library's layer: "<file>: <name>"
// (paths relative to `src`).
std::vector<std::string> library_layer_breaches(const fs::path& src) {
    const fs::path library = src / "nutrients" / "source";
    const fs::path coupling = src / "nutrients";
    std::vector<std::string> breaches;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const fs::path file = entry.path();
        if (!entry.is_regular_file() || (file.extension() != ".cpp" && file.extension() != ".hpp")) continue;
        const bool in_library = inside(file, library);
        const bool in_coupling = inside(file, coupling);
        std::ifstream in(file);
        std::string name;
        bool quoted = false;
        for (std::string line; std::getline(in, line);) {
            if (!included_name(line, name, quoted)) continue;
            const fs::path target = resolve(src, file, name, quoted);
            if (target.empty()) continue;
            const bool to_library = inside(target, library);
            if ((in_library && !to_library) || (!in_coupling && to_library))
                breaches.push_back(file.lexically_relative(src).string() + ": " + name);
        }
    }
    std::sort(breaches.begin(), breaches.end());
    return breaches;
}

}  // namespace

TEST(NutrientLibrary, IncludesNothingOfTheModelAndOnlyTheCouplingIncludesIt) {
    const std::vector<std::string> breaches = library_layer_breaches(fs::path(KESTA_SOURCE_DIR) / "src");
    std::string said;
    for (const std::string& b : breaches) said += b + "\n";
    EXPECT_TRUE(breaches.empty()) << said;
}

// A tree with every kind of breach beside the includes that are allowed:
// the check names exactly the breaches.
TEST(NutrientLibrary, TheCheckNamesEveryBreachOfTheLayer) {
    kesta_test::temp_dir dir;
    const fs::path src = dir.path() / "src";
    fs::create_directories(src / "nutrients" / "source");
    fs::create_directories(src / "core");
    fs::create_directories(src / "input");
    const auto write = [&src](const std::string& name, const std::string& text) {
        std::ofstream(src / name) << text;
    };
    write("core/arrays.hpp", "");
    write("nutrients/zep_container.hpp", "#include \"nutrients/source/cell.hpp\"\n");
    write("nutrients/source/cell.hpp", "#include <vector>\n#include \"nutrients/source/graph.hpp\"\n");
    write("nutrients/source/graph.hpp", "#include \"graph_parts.hpp\"\n");
    write("nutrients/source/graph_parts.hpp", "");
    write("nutrients/source/cell.cpp",
          "#include \"nutrients/source/cell.hpp\"\n#include \"core/arrays.hpp\"\n#  include <core/arrays.hpp>\n");
    write("nutrients/source/plant.cpp", "#include \"../zep_container.hpp\"\n");
    write("input/reader.cpp", "#include <string>\n#include \"nutrients/source/graph.hpp\"\n");
    const std::vector<std::string> expected = {
        "input/reader.cpp: nutrients/source/graph.hpp",
        "nutrients/source/cell.cpp: core/arrays.hpp",
        "nutrients/source/cell.cpp: core/arrays.hpp",
        "nutrients/source/plant.cpp: ../zep_container.hpp",
    };
    EXPECT_EQ(library_layer_breaches(src), expected);
}
