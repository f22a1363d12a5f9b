#pragma once
// Builds command text that OKLCoreAPI::processOKL reads back:
//   OKLBuilder b;
//   b.pushRoot("PLANE", "Slice 1");
//   b.addParam("Plane Type", "Slice");
//   b.popAll();
//   OKLCoreAPI::instance()->processOKL(b.getOKL());
#include <string>
#include <vector>

namespace zel {

class OKLBuilder {
public:
    // Closes any open blocks and opens a top-level block. An empty name (or a name equal
    // to the type) writes the singleton header "TYPE:".
    void pushRoot(const std::string& type, const std::string& name = std::string());
    // Opens a block inside the current one (a top-level block when none is open).
    void push(const std::string& type, const std::string& name = std::string());
    // Opens the blocks of every component of an absolute path ("/LIBRARY/ROX",
    // "/DATA READER/CASE:Case 1"); a component without a type is a singleton.
    void pushPath(const std::string& path);
    // "Name = value" in the current block. okl::error when no block is open, or when the
    // value cannot be written so that it reads back the same: a line break, a '#' outside
    // double quotes, a trailing '\\', or blanks at either end.
    void addParam(const std::string& name, const std::string& value);
    // "> name args" (top level only: okl::error inside a block).
    void addAction(const std::string& name, const std::string& args = std::string());
    // Closes the current block (okl::error when none is open).
    void pop();
    void popAll();
    int depth() const { return static_cast<int>(m_open.size()); }

    // The text so far, with every block still open closed.
    std::string getOKL() const;
    void clear();

private:
    std::string indent() const;
    std::string m_text;
    std::vector<std::string> m_open; // headers of the open blocks
};

} // namespace zel
