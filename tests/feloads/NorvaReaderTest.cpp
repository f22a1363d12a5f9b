// The load surface file reader: the command rules, the node and element blocks, the file
// variable, and the faults it must name.
#include "tests/feloads/LoadDeckSupport.h"

#include "feloads/NorvaGeometryReader.h"
#include "framework/core/Reporter.h"

#include <array>

namespace zel::test {
namespace {

// Two elements of type 1 on a unit square split at x = 0.5 (nodes 1-6, corners only), and
// one element of type 2.
std::vector<DeckNode> stripNodes() {
    return {{1, 0, 0, 0}, {2, 0.5, 0, 0}, {3, 1, 0, 0}, {4, 0, 1, 0}, {5, 0.5, 1, 0}, {6, 1, 1, 0}};
}
std::vector<DeckElement> stripElements() {
    return {{1, 11, {1, 2, 5, 4}}, {1, 12, {2, 3, 6, 5}}, {2, 13, {1, 3, 6, 4}}};
}

class NorvaReaderTest : public ScratchLocatorTest {
protected:
    struct Read {
        std::unique_ptr<Geometry> geometry = std::make_unique<Geometry>();
        std::unique_ptr<NorvaGeometryReader> reader;
        std::string elementType, keyOption;
        const ShapeSet& set(const char* name) const { return *geometry->getFaceSet(name); }
        std::vector<int> face(const char* set, int e) const {
            const std::span<const int> nodes = geometry->getFaceSet(set)->getElement(e);
            return {nodes.begin(), nodes.end()};
        }
    };
    // Reads `text` (written as `file`) for the surface "S".
    Read read(const std::string& text, bool midSide = false, const std::string& units = "m",
              const std::string& file = "deck.cdb") {
        Read r;
        r.reader = std::make_unique<NorvaGeometryReader>(units);
        r.reader->initialize(writeFile(file, text), "S");
        std::array<ShapeSet*, 4> sets{};
        const char* names[4] = {"TRIANGLE", "QUAD", "PENTAGON", "HEXAGON"};
        const ShapeType types[4] = {ShapeType::Triangle, ShapeType::Quadrilateral, ShapeType::Pentagon,
                                    ShapeType::Hexagon};
        for (int s = 0; s < 4; ++s) sets[std::size_t(s)] = r.geometry->addFaceSet(names[s], types[s], 1);
        r.reader->readNorvaFile(r.geometry->getModifiableVertices(), sets.data(), r.elementType, r.keyOption, midSide);
        return r;
    }
    // Reading `text` raises data::invalid with exactly `message` (or, when `exact` is
    // false, a message holding it).
    void expectReadError(const std::string& text, const std::string& message, bool exact = true) {
        ExpectedError expected{
            .className = "NorvaGeometryReader", .operation = "readNorvaFile", .message = exact ? message : ""};
        if (!exact) expected.fragments = {message};
        expectError<data::invalid>([&] { read(text); }, expected);
    }
    int warnings() const {
        int n = 0;
        for (const auto& r : reports()) n += r.getErrorType() == ErrWarning;
        return n;
    }
};

TEST_F(NorvaReaderTest, CommandsInAnyCaseFixThePatchAndItsKeyOption) {
    const Read r =
        read(deckText({" numoff , node ,  6", "et , 1 ,  154", "  KeyOpt,1,11 , 2  "}, stripNodes(), stripElements()));
    EXPECT_EQ(r.elementType, "154");
    EXPECT_EQ(r.keyOption, "2");
    ASSERT_EQ(r.set("QUAD").size(), 2); // type 2 is another patch
    for (const char* other : {"TRIANGLE", "PENTAGON", "HEXAGON"}) EXPECT_EQ(r.set(other).size(), 0) << other;
    EXPECT_EQ(r.set("QUAD").getNum(0), 11);
    EXPECT_EQ(r.set("QUAD").getNum(1), 12);
    // Nodes in the order first met, shared nodes once: 1 2 5 4, then 3 6.
    EXPECT_EQ(r.geometry->getNumVertices(), 6);
    EXPECT_EQ(r.reader->getNodeNumbers(), (std::vector<int>{1, 2, 5, 4, 3, 6}));
    EXPECT_EQ(r.face("QUAD", 1), (std::vector<int>{1, 4, 5, 2}));
    EXPECT_FLOAT_EQ(r.geometry->getVertices()[4].x, 1.0f);

    // Which KEYOPT counts: after the first valid ET, of its type, key 8 for 152, 11 for 154.
    struct Case {
        std::vector<std::string> commands;
        std::string type, key;
    };
    const std::string none(1, '\xFF');
    const Case cases[] = {
        {{"ET,1,154"}, "154", none},
        {{"KEYOPT,1,11,3", "ET,1,154"}, "154", none},
        {{"ET,1,154", "KEYOPT,1,8,3"}, "154", none},
        {{"ET,1,152", "KEYOPT,1,8,3"}, "152", "3"},
        {{"ET,1,152", "KEYOPT,1,11,3"}, "152", none},
        {{"ET,1,154", "KEYOPT,2,11,3"}, "154", none},
        {{"ET,3,181", "ET,1,154", "KEYOPT,1,11,4"}, "154", "4"},
        {{"ET,1,154", "ET,2,152", "KEYOPT,2,8,5", "KEYOPT,1,11,6"}, "154", "6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commands.back());
        const Read k = read(deckText(c.commands, stripNodes(), stripElements()));
        EXPECT_EQ(k.elementType, c.type);
        EXPECT_EQ(k.keyOption, c.key);
    }
}

TEST_F(NorvaReaderTest, SeveralValidPatchesWarnOncePerFile) {
    const std::string text = deckText({"ET,2,152", "ET,1,154"}, stripNodes(), stripElements());
    const Read first = read(text, false, "m", "two.cdb");
    EXPECT_EQ(first.elementType, "152");
    EXPECT_EQ(first.set("QUAD").size(), 1); // only type 2's element
    EXPECT_EQ(first.set("QUAD").getNum(0), 13);
    ASSERT_EQ(warnings(), 1);
    EXPECT_EQ(reports().back().getMessage(),
              "More than one patch with valid element types are defined in this file.\n"
              "Only the first valid patch will be used (Type No.: 2  Element Type: SURF152).");
    read(text, false, "m", "two.cdb");
    EXPECT_EQ(warnings(), 1);
    read(text, false, "m", "other.cdb");
    EXPECT_EQ(warnings(), 2);
}

TEST_F(NorvaReaderTest, ElementsBecomeFacesAndVertices) {
    const std::vector<DeckNode> nodes = {{1, 0, 0, 0},   {2, 1, 0, 0},   {3, 1, 1, 0},   {4, 0, 1, 0}, {5, 0.5, 0, 0},
                                         {6, 1, 0.5, 0}, {7, 0.5, 1, 0}, {8, 0, 0.5, 0}, {9, 2, 0, 0}};
    const std::vector<DeckElement> elements = {
        {1, 1, {1, 2, 3, 4, 5, 6, 7, 8}}, // an 8-node quadrilateral
        {1, 2, {2, 9, 3, 3}},             // third and fourth node equal: a triangle
        {1, 3, {1, 2, 2, 2}},             // two distinct corners: no face
        {1, 4, {1, 2, 0, 0}},             // a 0 ends the list
    };
    const std::string text = deckText({"ET,1,154"}, nodes, elements);

    const Read corners = read(text, false);
    EXPECT_EQ(corners.geometry->getNumVertices(), 5); // 1 2 3 4, 9
    EXPECT_EQ(corners.set("QUAD").size(), 1);
    ASSERT_EQ(corners.set("TRIANGLE").size(), 1);
    EXPECT_EQ(corners.set("TRIANGLE").getNum(0), 2);
    EXPECT_EQ(corners.face("TRIANGLE", 0), (std::vector<int>{1, 4, 2}));
    EXPECT_EQ(corners.reader->getNodeNumbers(), (std::vector<int>{1, 2, 3, 4, 9}));

    // Mid-side nodes are vertices (they receive loads) but no face corners.
    const Read mid = read(text, true);
    EXPECT_EQ(mid.geometry->getNumVertices(), 9);
    EXPECT_EQ(mid.reader->getNodeNumbers(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(mid.face("QUAD", 0), (std::vector<int>{0, 1, 2, 3}));
    double area = 0.0;
    for (float a : mid.geometry->getVertexAreas()) area += a;
    EXPECT_NEAR(area, 1.5, 1e-6);
}

TEST_F(NorvaReaderTest, FileUnitsAndFortranNumbers) {
    // The same square written in millimetres and in metres gives the same geometry.
    const GridDeck metres = gridDeck(3, 0.25);
    const GridDeck millimetres = gridDeck(3, 0.25, 1000.0);
    const Read m = read(deckText({"ET,1,154"}, metres.nodes, metres.elements), true, "m", "m.cdb");
    const Read mm = read(deckText({"ET,1,154"}, millimetres.nodes, millimetres.elements), true, "mm", "mm.cdb");
    ASSERT_EQ(m.geometry->getNumVertices(), mm.geometry->getNumVertices());
    for (int i = 0; i < m.geometry->getNumVertices(); ++i) {
        const TripletF a = m.geometry->getVertices()[std::size_t(i)], b = mm.geometry->getVertices()[std::size_t(i)];
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], b[k], 1e-6f) << "vertex " << i;
    }
    // D exponents, signs, exponents without their letter, blank and missing fields (zero).
    char first[128];
    std::snprintf(first, sizeof first, "%9d%9d%9d%12s%12s%12s", 1, 0, 0, "1.0000D+00", "+2.500E-01", "0.5+001");
    const std::string text = "ET,1,154\nNBLOCK,6,SOLID\n(3i9,3e12.4)\n" + std::string(first) +
                             "\n"
                             "        2        0        0                 1.0\n"
                             "        3        0        0      2.0E0\n"
                             "N,R5.3,LOC,       -1,\nEBLOCK,19,SOLID\n(19i9)\n" +
                             elementLine({1, 1, {1, 2, 3}}) + "\n-1\n";
    const Read f = read(text);
    ASSERT_EQ(f.geometry->getNumVertices(), 3);
    const TripletZELVector& v = f.geometry->getVertices();
    EXPECT_FLOAT_EQ(v[0].x, 1.0f);
    EXPECT_FLOAT_EQ(v[0].y, 0.25f);
    EXPECT_FLOAT_EQ(v[0].z, 5.0f);
    EXPECT_EQ(v[1], TripletF(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(v[2], TripletF(2.0f, 0.0f, 0.0f));
}

TEST_F(NorvaReaderTest, TheNodeNumbersAreAFileVariable) {
    const Read r = read(deckText({"ET,1,154"}, stripNodes(), stripElements()));
    const std::string name = "Node Number on S";
    EXPECT_EQ(r.reader->getVariableNames(), std::vector<std::string>{name});
    EXPECT_TRUE(r.reader->hasVariable(name));
    EXPECT_FALSE(r.reader->hasVariable("Node Number"));
    EXPECT_EQ(r.reader->getRange(name), (std::pair<float, float>(1.0f, 6.0f)));
    EXPECT_EQ(r.reader->getMinValue(name), 1.0f);
    EXPECT_EQ(r.reader->getMaxValue(name), 6.0f);
    EXPECT_EQ(r.reader->getVariableUnits(name), "");
    EXPECT_EQ(r.reader->getRange("Stress on S"), (std::pair<float, float>(UNDEFINED_VALUE, UNDEFINED_VALUE)));
    FloatZELVectorConcrete values;
    ASSERT_TRUE(r.reader->getVariableData(name, values));
    EXPECT_EQ(std::vector<float>(values.begin(), values.end()), (std::vector<float>{1, 2, 5, 4, 3, 6}));
    EXPECT_FALSE(r.reader->getVariableData("Pressure", values));
    // The same through the geometry's variable lookup.
    const std::unique_ptr<Variable> v = r.reader->getVariable(name, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ((*v->getFloatValues())[2], 5.0f);
    EXPECT_EQ(r.reader->getVariable("Area", nullptr), nullptr); // the geometry's own
}

TEST_F(NorvaReaderTest, TheSolversOwnMessages) {
    const std::vector<DeckNode> nodes = stripNodes();
    const std::vector<DeckElement> elements = stripElements();
    expectReadError(deckText({"ET,1,181"}, nodes, elements),
                    "File does not define any valid element types (152 or 154). File cannot be loaded.");
    expectReadError("ET,1,154\nNBLOCK,6,SOLID\n", "Unexpected end of file...");
    expectReadError("ET,1,154\n", "Unexpected end of file...");
    // A node block of one node and its terminator, then no element block or an empty one.
    const std::string oneNode =
        "ET,1,154\nNBLOCK,6,SOLID\n(3i9,6e21.13e3)\n" + nodeLine(nodes[0]) + "\nN,R5.3,LOC,-1,\n";
    expectReadError(oneNode, "Unexpected end of file.");
    expectReadError(oneNode + "EBLOCK,19\n", "Unexpected end of file.");
    expectReadError(deckText({"ET,1,154"}, nodes, elements, "N,R5.3,LOC,        5,"),
                    "Invalid termination of NBLOCK command. Expecting -1 in N command, Received: 5");
    // "eblock" in lower case is not the element block: the block is never found.
    std::string lower = deckText({"ET,1,154"}, nodes, elements);
    lower.replace(lower.find("EBLOCK"), 6, "eblock");
    expectReadError(lower, "Unexpected end of file.");
}

TEST_F(NorvaReaderTest, FaultsNameTheFileAndTheLine) {
    std::vector<DeckNode> nodes = stripNodes();
    const std::vector<DeckElement> elements = stripElements();
    // Line numbers: 1 ET, 2 NBLOCK, 3 format, 4.. nodes.
    std::vector<DeckNode> twice = nodes;
    twice.push_back({2, 9, 9, 9});
    expectReadError(deckText({"ET,1,154"}, twice, elements), "deck.cdb', line 10: node 2 is defined twice.", false);
    std::vector<DeckElement> unknown = elements;
    unknown[1].nodes[2] = 77;
    expectReadError(deckText({"ET,1,154"}, nodes, unknown),
                    "line 14: element 12 uses node 77, which the node block does not define.", false);
    std::string text = deckText({"ET,1,154"}, nodes, elements);
    text.replace(text.find("1.0000000000000E+00"), 19, "1.00000000000x0E+00");
    expectReadError(text, "line 6: node 3: '1.00000000000x0E+00' is not a number.", false);
    text = deckText({"ET,1,154"}, nodes, elements);
    text.replace(text.find("        4        0"), 9, "       4x");
    expectReadError(text, "line 7: '4x' is not a node number.", false);
    expectReadError("ET,1,154\nNBLOCK,6,SOLID\n(3i9,6e21.13e3)\n" + nodeLine(nodes[0]) + "\n",
                    "ends inside its node block", false);
    expectReadError("ET,1,154\nNBLOCK,6,SOLID\n(3i9,6e21)\n", "line 3: Invalid data format '(3i9,6e21)'", false);
}

} // namespace
} // namespace zel::test
