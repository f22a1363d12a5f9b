// Domain geometry: boundary flags and types, the printed boundary data, variables through the
// registry, and the host's records.
#include "tests/datastorage/StorageTestSupport.h"

#include "framework/core/Error.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zel::test {
namespace {

using B = DomainGeometryBase;

// An internal error of the domain geometry: the operation and the whole message.
template <typename F> void expectDomainError(F&& call, const std::string& operation, const std::string& message) {
    expectError<internal::error>(call, {.className = "DomainGeometryBase", .operation = operation, .message = message});
}

// A 2×1×1 hex domain "Duct" with a second cell set "tets" of one tetrahedron, so that the
// sets' name order (hexes, tets) and their numbering can be told apart.
std::unique_ptr<DomainGeometryBase> makeDuct() {
    std::unique_ptr<DomainGeometryBase> d = makeHexBox("Duct", 2, 1, 1);
    ShapeSet* tets = d->addFaceSet("tets", ShapeType::Tetrahedron, 1);
    const int nodes[4] = {0, 1, 3, 6};
    tets->setElement(0, nodes);
    return d;
}

class BoundaryTest : public StorageTest {};

TEST_F(BoundaryTest, FlagsNamesAndFirstBoundaryWins) {
    auto duct = makeDuct();
    duct->initialiseBoundaryFlags();
    EXPECT_EQ(duct->getBoundaryFlags(0, 0), 0);
    EXPECT_EQ(duct->getBoundaryFlags(0, 1), 0);

    duct->setBoundaryFlag(0, 0, 0, "inlet");  // hex 0, face 0 (x = 0)
    duct->setBoundaryFlag(0, 0, 2, "side");   // hex 0, face 2 (y = 0)
    duct->setBoundaryFlag(0, 1, 1, "outlet"); // hex 1, face 1 (x = 1)
    duct->setBoundaryFlag(0, 1, 2, "side");
    duct->setBoundaryFlag(0, 0, 2, "other"); // a second boundary for the same face
    duct->setBoundaryFlag(1, 0, 3, "inlet"); // the tetrahedron's face 3
    EXPECT_EQ(duct->getBoundaryFlags(0, 0), 0b101);
    EXPECT_EQ(duct->getBoundaryFlags(0, 1), 0b110);
    EXPECT_EQ(duct->getBoundaryFlags(1, 0), 0b1000);

    EXPECT_EQ(duct->getBoundaryName(0, 0, 2), "side"); // the first stays
    EXPECT_EQ(duct->getBoundaryName(0, 0, 0), "inlet");
    EXPECT_EQ(duct->getBoundaryName(1, 0, 3), "inlet");
    EXPECT_EQ(duct->getBoundaryName(0, 0, 1), ""); // interior face
    // In the order first met, untyped.
    std::vector<std::pair<std::string, B::boundaryType>> list;
    for (const char* name : {"inlet", "side", "outlet", "other"}) list.emplace_back(name, B::BoundaryUnknown);
    EXPECT_EQ(duct->getBoundaries(), list);

    // Bad addresses.
    expectDomainError([&] { duct->getBoundaryFlags(7, 0); }, "getBoundaryFlags", "No element set number 7.");
    EXPECT_THROW(duct->getBoundaryFlags(0, 2), internal::badParam);
    EXPECT_THROW(duct->setBoundaryFlag(0, 2, 0, "x"), internal::badParam);
    EXPECT_THROW(duct->setBoundaryFlag(0, 0, 6, "x"), internal::badParam); // a hexahedron has 6 faces
    EXPECT_THROW(duct->setBoundaryFlag(1, 0, 4, "x"), internal::badParam); // a tetrahedron has 4
    EXPECT_EQ(duct->getBoundaries().size(), 4u);
    expectDomainError([&] { duct->getBoundaryType(0, 0, 1); }, "getBoundaryType", "Unable to find boundary type.");

    // A set added after initialisation has neither flags nor a boundary map.
    duct->addFaceSet("late", ShapeType::Tetrahedron, 1);
    expectDomainError([&] { duct->setBoundaryFlag(2, 0, 0, "inlet"); }, "setBoundaryFlag",
                      "No face flags for element set late.");
    expectDomainError([&] { duct->getBoundaryFlags(2, 0); }, "getBoundaryFlags", "No element set number 2.");
    expectDomainError([&] { duct->getBoundaryType(2, 0, 0); }, "getBoundaryType",
                      "Cannot find element set named late.");
    expectDomainError([&] { duct->getBoundaryName(2, 0, 0); }, "getBoundaryName",
                      "Cannot find element set named late.");

    // Initialising again forgets everything.
    duct->initialiseBoundaryFlags();
    EXPECT_TRUE(duct->getBoundaries().empty());
    EXPECT_EQ(duct->getBoundaryFlags(0, 0), 0);
    EXPECT_EQ(duct->getBoundaryName(0, 0, 0), "");
    EXPECT_EQ(duct->getBoundaryFlags(2, 0), 0);
}

TEST_F(BoundaryTest, FacesEnteredOutOfOrderKeepTheFirstBoundary) {
    auto d = makeHexBox("Box", 4, 4, 4);
    d->initialiseBoundaryFlags();
    // Entered in descending order with repeats; the flat map must sort and keep firsts.
    for (int e = 63; e >= 0; --e)
        for (int f = 5; f >= 0; --f) d->setBoundaryFlag(0, unsigned(e), unsigned(f), numbered("b", (e + f) % 3));
    for (int e = 0; e < 64; e += 7) d->setBoundaryFlag(0, unsigned(e), 1, "late");
    for (int e = 0; e < 64; ++e) {
        EXPECT_EQ(d->getBoundaryFlags(0, unsigned(e)), 0b111111);
        for (int f = 0; f < 6; ++f)
            EXPECT_EQ(d->getBoundaryName(0, unsigned(e), unsigned(f)), numbered("b", (e + f) % 3));
    }
    std::ostringstream text;
    d->printBoundaryData(text);
    // 64 × 6 faces, one line each, in (element, face) order; b2, b1, b0 were met in that order.
    const std::string s = text.str();
    EXPECT_NE(s.find("\n0,0:2\n0,1:1\n"), std::string::npos);
    EXPECT_NE(s.find("\n63,5:0\n"), std::string::npos);
}

TEST_F(BoundaryTest, TypesFromTheBoundaryObjects) {
    auto d = makeHexBox("Types", 4, 1, 1); // 4 hexahedra, 24 faces
    d->initialiseBoundaryFlags();
    const std::vector<std::pair<std::string, B::boundaryType>> cases{
        {"OPEN", B::BoundaryOpen},         {"INLET", B::BoundaryInlet},          {"OUTLET", B::BoundaryOutlet},
        {"OPENING", B::BoundaryOpening},   {"OPEN MIXED", B::BoundaryOpenMixed}, {"WALL", B::BoundaryWall},
        {"SYMMETRY", B::BoundarySymmetry}, {"PERIODIC", B::BoundaryPeriodic},    {"SOMETHING", B::BoundaryUnknown}};
    const std::vector<std::pair<std::string, B::boundaryType>> interfaces{
        {"Periodic", B::InterfacePeriodic},       {"Fluid Fluid", B::InterfaceFluidFluid},
        {"Fluid Porous", B::InterfaceFluidFluid}, {"Porous Porous", B::InterfaceFluidFluid},
        {"Fluid Solid", B::InterfaceFluidSolid},  {"Solid Porous", B::InterfaceFluidSolid},
        {"Solid Solid", B::InterfaceSolidSolid},  {"Sideways", B::BoundaryUnknown}};
    std::vector<B::boundaryType> expected;
    unsigned face = 0;
    // Boundary i on face i of the mesh: element i / 6, local face i % 6; `type` is the one expected.
    auto flag = [&](const std::string& name, B::boundaryType type = B::BoundaryUnknown) {
        d->setBoundaryFlag(0, face / 6, face % 6, name);
        ++face;
        expected.push_back(type);
    };
    for (const auto& [kind, type] : cases) {
        addObject("BOUNDARY", cat("b ", kind), {{"Boundary Type", kind}});
        flag(cat("b ", kind), type);
    }
    for (const auto& [kind, type] : interfaces) {
        addObject("BOUNDARY", cat("i ", kind), {{"Boundary Type", "INTERFACE"}, {"Interface Type", kind}});
        flag(cat("i ", kind), type);
    }
    // No object; an interface without an interface type (reading it fails).
    flag("missing");
    addObject("BOUNDARY", "bare interface", {{"Boundary Type", "INTERFACE"}});
    flag("bare interface");
    d->addBoundaryTypes();
    ASSERT_EQ(d->getBoundaries().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(d->getBoundaries()[i].second, expected[i]) << d->getBoundaries()[i].first;
        EXPECT_EQ(d->getBoundaryType(0, unsigned(i / 6), unsigned(i % 6)), expected[i]);
    }

    // After typing, a face of a typed boundary appends a second entry of type 0; an untyped
    // boundary keeps its single entry.
    const std::size_t before = d->getBoundaries().size();
    flag("b WALL");
    flag("missing");
    ASSERT_EQ(d->getBoundaries().size(), before + 1);
    EXPECT_EQ(d->getBoundaries().back(), std::make_pair(std::string("b WALL"), B::BoundaryUnknown));
    EXPECT_EQ(d->getBoundaryType(0, 3, 1), B::BoundaryUnknown); // face 19: the new entry
    EXPECT_EQ(d->getBoundaryName(0, 3, 2), "missing");
    EXPECT_EQ(d->getBoundaryType(0, 0, 5), B::BoundaryWall); // the earlier face keeps its entry
}

TEST_F(BoundaryTest, AtMost32767Boundaries) {
    auto d = makeHexBox("Many", 1, 1, 1);
    d->initialiseBoundaryFlags();
    for (int i = 0; i < B::kMaxBoundaries; ++i) d->setBoundaryFlag(0, 0, unsigned(i % 6), numbered("b", i));
    EXPECT_EQ(d->getBoundaries().size(), 32767u);
    // A known name still works; a new one fails and changes nothing.
    d->setBoundaryFlag(0, 0, 0, "b32766");
    expectDomainError([&] { d->setBoundaryFlag(0, 0, 1, "one too many"); }, "setBoundaryFlag",
                      "Cannot add boundary 'one too many' to domain 'Many': a domain holds at most 32767 boundaries.");
    EXPECT_EQ(d->getBoundaries().size(), 32767u);
    EXPECT_EQ(d->getBoundaryName(0, 0, 0), "b0");
}

TEST_F(BoundaryTest, PrintedBoundaryData) {
    auto duct = makeDuct();
    duct->initialiseBoundaryFlags();
    duct->setBoundaryFlag(0, 1, 2, "side");
    duct->setBoundaryFlag(0, 0, 2, "side");
    duct->setBoundaryFlag(0, 0, 0, "inlet");
    addObject("BOUNDARY", "inlet", {{"Boundary Type", "INLET"}});
    duct->addBoundaryTypes();
    duct->addFaceSet("a late set", ShapeType::Hexahedron, 1);
    const std::string expected = "BOUNDARY DATA for DomainGeometryBase Duct\n"
                                 "Boundary Name:\n"
                                 "0:side,0\n"
                                 "1:inlet,2\n"
                                 "Element set:a late set\n"
                                 "No Flag Data found.\n"
                                 "No Flag Data found.\n"
                                 "Element set:hexes\n"
                                 "Flag Data:\n"
                                 "0:00000101\n"
                                 "1:00000100\n"
                                 "0,0:1\n"
                                 "0,2:0\n"
                                 "1,2:0\n"
                                 "Element set:tets\n"
                                 "Flag Data:\n"
                                 "0:00000000\n";
    std::ostringstream text;
    duct->printBoundaryData(text);
    EXPECT_EQ(text.str(), expected);

    // The file in the current directory, replaced on each call.
    const std::filesystem::path old = std::filesystem::current_path();
    const std::filesystem::path dir = std::filesystem::path(ZEL_BINARY_DIR) / "domain-boundary-print";
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    { std::ofstream("BoundaryData.dat") << "stale text that is longer than nothing\n"; }
    duct->printBoundaryData();
    std::filesystem::current_path(old);
    std::ifstream in(dir / "BoundaryData.dat");
    std::stringstream file;
    file << in.rdbuf();
    EXPECT_EQ(file.str(), expected);
}

TEST_F(BoundaryTest, VariablesComeFromTheRegistry) {
    auto* d1 = dynamic_cast<DomainGeometryBase*>(storage->getGeometry("D1"));
    ASSERT_NE(d1, nullptr);
    addSolverObject("Pressure");
    storage->addSolverScalar("Pressure", [](const TripletF& p) { return 5 * p.y; });
    Variable* p = d1->getVariable("Pressure");
    EXPECT_EQ(p, storage->getVariable("Pressure", "D1"));
    EXPECT_EQ(d1->makeFundamentalVariable("Pressure"), p);
    EXPECT_EQ(d1->findVariable("Pressure"), nullptr); // the registry holds it, not the geometry
    EXPECT_EQ(d1->getVariable("x + 1 [m]"), storage->getVariable("x + 1 [m]", "D1"));

    // "Volume" is the mesh's own: vertex volumes summing to the box's volume.
    Variable* volume = d1->getVariable("Volume");
    ASSERT_NE(volume, nullptr);
    EXPECT_NEAR(volume->getFloatValues()->getSum(), 1.0f, 1e-5f);
    EXPECT_FALSE(storage->isLoaded("Volume", "D1"));
}

TEST_F(BoundaryTest, RecordsAndCopies) {
    const elemFaceIndex none;
    EXPECT_EQ(none.element, -1);
    EXPECT_EQ(none.face, -1);
    const elemFaceIndex less;
    EXPECT_TRUE(less(elemFaceIndex(-1, 5), elemFaceIndex(0, -3))); // by element first, signed
    EXPECT_TRUE(less(elemFaceIndex(3, -1), elemFaceIndex(3, 0)));  // then by face, signed
    EXPECT_FALSE(less(elemFaceIndex(3, 2), elemFaceIndex(3, 2)));

    auto d = makeDuct();
    VolumePatch patch{.id = 4, .name = "porous", .type = "Porous", .elements = {3, 1, 2}};
    d->setVolumePatch(patch);
    patch.name = "changed after";
    EXPECT_EQ(d->getVolumePatch(0).name, "porous");
    EXPECT_EQ(d->getVolumePatch(0).elements, (std::set<std::int32_t>{1, 2, 3}));
    EXPECT_THROW(d->getVolumePatch(1), internal::badParam);
    EXPECT_THROW(d->getVolumePatch(-1), internal::badParam);

    // A copy of the mesh is a domain geometry with the same boundary data.
    d->initialiseBoundaryFlags();
    d->setBoundaryFlag(0, 1, 3, "top");
    std::unique_ptr<Geometry> copy = d->clone(true, false);
    auto* c = dynamic_cast<DomainGeometryBase*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->getBoundaryName(0, 1, 3), "top");
    EXPECT_EQ(c->getBoundaryFlags(0, 1), 0b1000);
    EXPECT_EQ(c->getVolumePatch(0).id, 4);
    std::unique_ptr<Geometry> bare = d->clone(false, false);
    ASSERT_NE(dynamic_cast<DomainGeometryBase*>(bare.get()), nullptr);
}

} // namespace
} // namespace zel::test
