#pragma once
// Line-oriented reading of text files, with the line number kept for error messages.
// Lines are returned without their line end; "\r\n" and "\n" both end a line, and a
// last line without a line end is still a line.
#include <cstddef>
#include <fstream>
#include <string>
#include <vector>

namespace zel {

class ZELStream {
public:
    // Open modes. Reading text is the only mode.
    enum Mode { Read = 1 };

    ZELStream() = default;
    // Opens the file (see open).
    explicit ZELStream(const std::string& fileName, int mode = Read);
    ZELStream(const ZELStream&) = delete;
    ZELStream& operator=(const ZELStream&) = delete;

    // Opens a text file for reading; closes any file open before. A file that cannot be
    // opened raises data::notFound naming it; a mode other than Read raises
    // internal::badParam.
    void open(const std::string& fileName, int mode = Read);
    bool isOpen() const { return m_in.is_open(); }
    // Reads the next line into line; false (line emptied) at the end of the file or when
    // no file is open.
    bool getNextLine(std::string& line);
    // True while at least one more line can be read.
    bool hasInput();
    // The remaining lines (all of them right after open), leaving the stream at its end.
    std::vector<std::string> getFileAsVector();
    void close();

    // 1-based number of the line last returned by getNextLine (0 before the first).
    std::size_t getLineNumber() const { return m_lineNumber; }
    const std::string& getFileName() const { return m_fileName; }
    // "'<file>', line <n>" for messages about the line last read.
    std::string where() const;

private:
    // Refills the block buffer; false at the end of the file.
    bool fill();

    std::ifstream m_in;
    // Lines are cut from blocks read whole (a line-by-line std::getline costs more than the
    // parsing of most files); [m_pos, m_end) is what is not yet returned.
    std::vector<char> m_block;
    std::size_t m_pos = 0, m_end = 0;
    std::string m_fileName;
    std::size_t m_lineNumber = 0;
};

class ZELFile {
public:
    // True when the path names an existing file or directory (never raises).
    static bool exists(const std::string& path);
    // True when the path names an existing regular file.
    static bool isFile(const std::string& path);
};

} // namespace zel
