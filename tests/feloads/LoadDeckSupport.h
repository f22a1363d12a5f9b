#pragma once
// Load surface files for the FE load tests: decks written line by line in the solver's block
// formats, in a scratch folder that is also the working directory of the test (the transfer
// report is written there).
#include "tests/locators/LocatorTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zel::test {

struct DeckNode {
    int number = 0;
    double x = 0.0, y = 0.0, z = 0.0;
};

struct DeckElement {
    int type = 1;
    int number = 0;
    std::vector<int> nodes; // corners, then mid-side nodes; at most 8
};

// "(3i9,6e21.13e3)" node line (only the three coordinates, as solvers write them).
inline std::string nodeLine(const DeckNode& n) {
    char text[128];
    std::snprintf(text, sizeof text, "%9d%9d%9d%21.13E%21.13E%21.13E", n.number, 0, 0, n.x, n.y, n.z);
    return text;
}

// "(19i9)" element line: material, type, real, section, system, birth, solid, shape, node
// count, 0, element number, nodes.
inline std::string elementLine(const DeckElement& e) {
    std::vector<int> fields{1, e.type, 1, 1, 0, 0, 0, 0, int(e.nodes.size()), 0, e.number};
    fields.insert(fields.end(), e.nodes.begin(), e.nodes.end());
    std::string line;
    char field[16];
    for (int v : fields) {
        std::snprintf(field, sizeof field, "%9d", v);
        line += field;
    }
    return line;
}

// A whole deck: the command lines, the node block and the element block.
inline std::string deckText(const std::vector<std::string>& commands, const std::vector<DeckNode>& nodes,
                            const std::vector<DeckElement>& elements,
                            const std::string& terminator = "N,R5.3,LOC,       -1,") {
    std::string text;
    for (const std::string& c : commands) text += c + "\n";
    text += "NBLOCK,6,SOLID,      " + std::to_string(nodes.size()) + ",      " + std::to_string(nodes.size()) + "\n";
    text += "(3i9,6e21.13e3)\n";
    for (const DeckNode& n : nodes) text += nodeLine(n) + "\n";
    text += terminator + "\n";
    text += "EBLOCK,19,SOLID,      " + std::to_string(elements.size()) + "\n(19i9)\n";
    for (const DeckElement& e : elements) text += elementLine(e) + "\n";
    text += "       -1\n";
    return text;
}

// The unit square at height z as an n × n grid of 8-node quadrilaterals (corner nodes first,
// then the mid-side nodes), coordinates multiplied by `scale`; node numbers from 1, element
// numbers from 101, of element type `type`.
struct GridDeck {
    std::vector<DeckNode> nodes;
    std::vector<DeckElement> elements;
};
inline GridDeck gridDeck(int n, double z = 0.0, double scale = 1.0, int type = 1) {
    GridDeck deck;
    const int m = 2 * n + 1; // lattice points per side, mid-sides included
    auto number = [&](int i, int j) { return 1 + i + m * j; };
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i) {
            if (i % 2 == 1 && j % 2 == 1) continue; // cell centres are no nodes
            deck.nodes.push_back({number(i, j), scale * i / (m - 1), scale * j / (m - 1), scale * z});
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = 2 * i, b = 2 * j;
            deck.elements.push_back({type,
                                     101 + i + n * j,
                                     {number(a, b), number(a + 2, b), number(a + 2, b + 2), number(a, b + 2),
                                      number(a + 1, b), number(a + 2, b + 1), number(a + 1, b + 2), number(a, b + 1)}});
        }
    return deck;
}

// The locator fixture in a scratch working directory of its own.
class ScratchLocatorTest : public LocatorTest {
protected:
    void SetUp() override {
        LocatorTest::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        scratch = std::filesystem::temp_directory_path() /
                  (std::string("zel_") + info->test_suite_name() + "_" + info->name() + "_" + std::to_string(stamp));
        std::filesystem::create_directories(scratch);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(scratch);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
        LocatorTest::TearDown();
    }
    // Writes `text` to `name` in the scratch folder; returns its path.
    std::string writeFile(const std::string& name, const std::string& text) const {
        const std::filesystem::path path = scratch / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path scratch;
    std::filesystem::path previous;
};

} // namespace zel::test
