#include "framework/core/ZELStream.h"
#include "framework/core/Error.h"
#include "tests/support/ErrorChecks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace zel;
namespace fs = std::filesystem;

namespace {

fs::path writeTemp(const std::string& name, const std::string& bytes) {
    const fs::path p = fs::temp_directory_path() /
                       ("zel_stream_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" + name);
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
}

} // namespace

TEST(ZELStream, ReadsLinesWithMixedEndingsAndNumbersThem) {
    const fs::path p = writeTemp("mixed.txt", "first\r\nsecond\n\nlast no newline");
    ZELStream s(p.string(), 1);
    EXPECT_TRUE(s.isOpen());
    EXPECT_EQ(s.getLineNumber(), 0u);
    std::string line;
    ASSERT_TRUE(s.hasInput());
    ASSERT_TRUE(s.getNextLine(line));
    EXPECT_EQ(line, "first");
    ASSERT_TRUE(s.getNextLine(line));
    EXPECT_EQ(line, "second");
    EXPECT_EQ(s.getLineNumber(), 2u);
    EXPECT_EQ(s.where(), "'" + p.string() + "', line 2");
    // The rest, including the empty line and the unterminated last one.
    EXPECT_EQ(s.getFileAsVector(), (std::vector<std::string>{"", "last no newline"}));
    EXPECT_EQ(s.getLineNumber(), 4u);
    EXPECT_FALSE(s.hasInput());
    EXPECT_FALSE(s.getNextLine(line));
    EXPECT_EQ(line, "");
    s.close();
    EXPECT_FALSE(s.isOpen());
    EXPECT_FALSE(s.hasInput());

    // A file ending in a line end has no extra empty line; an empty file has no line.
    const fs::path q = writeTemp("two.txt", "a\nb\n");
    EXPECT_EQ(ZELStream(q.string()).getFileAsVector(), (std::vector<std::string>{"a", "b"}));
    const fs::path e = writeTemp("empty.txt", "");
    ZELStream es(e.string());
    EXPECT_FALSE(es.hasInput());
    EXPECT_TRUE(es.getFileAsVector().empty());

    for (const fs::path& f : {p, q, e}) fs::remove(f);
}

TEST(ZELStream, LinesAcrossReadBlocksComeWhole) {
    // Lines of every length around the stream's 1 MiB blocks, "\r\n" ends split between
    // two blocks included: the lines read back are the lines written.
    std::vector<std::string> written;
    std::string bytes;
    for (std::size_t i = 0; bytes.size() < (std::size_t(5) << 20); ++i) {
        std::string line(i % 97 == 0 ? 300000 + i : i % 61, char('a' + i % 26));
        written.push_back(line);
        bytes += line + (i % 3 == 0 ? "\r\n" : "\n");
    }
    // A "\r\n" whose "\r" ends the first block.
    const std::size_t block = std::size_t(1) << 20;
    bytes.insert(0, std::string(block - 1, 'x') + "\r\n");
    written.insert(written.begin(), std::string(block - 1, 'x'));
    const fs::path p = writeTemp("blocks.txt", bytes);
    ZELStream s(p.string());
    const std::vector<std::string> read = s.getFileAsVector();
    EXPECT_EQ(read.size(), written.size());
    EXPECT_TRUE(read == written);
    EXPECT_EQ(s.getLineNumber(), written.size());
    fs::remove(p);
}

TEST(ZELStream, MissingFileNamesTheFile) {
    const std::string missing = (fs::temp_directory_path() / "zel_no_such_dir" / "missing.txt").string();
    EXPECT_FALSE(ZELFile::exists(missing));
    EXPECT_FALSE(ZELFile::exists(""));
    zel::test::expectError<data::notFound>([&] { ZELStream s(missing); }, {.fragments = {missing}});
    ZELStream s;
    EXPECT_THROW(s.open(fs::temp_directory_path().string()), data::notFound); // a directory
    EXPECT_FALSE(s.isOpen());
    std::string line = "x";
    EXPECT_FALSE(s.getNextLine(line));

    const fs::path p = writeTemp("exists.txt", "x");
    EXPECT_TRUE(ZELFile::exists(p.string()));
    EXPECT_TRUE(ZELFile::isFile(p.string()));
    EXPECT_FALSE(ZELFile::isFile(fs::temp_directory_path().string()));
    EXPECT_THROW(ZELStream(p.string(), 2), internal::badParam);
    fs::remove(p);
}
