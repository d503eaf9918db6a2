// Fuzzes loading and walking a document with a DTD beside it. The input is the
// document, optionally followed by "\n--DTD--\n" and the text of D.DTD.
#include "checks/xmldoc.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("qm_fuzz_xmldoc_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    // Registered after dir is made, so it runs before dir is destroyed.
    static const bool cleaned = std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(scratch(), ec);
    }) == 0;
    (void)cleaned;
    return dir;
}

size_t walk(const qm::XmlNode& node, int depth) {
    size_t n = node.text().size() + node.nodeName().size() + node.nodeValue().size() + node.attributes().size();
    if (depth > 300) return n;
    for (const qm::XmlNode& c : node.childNodes()) {
        if (c.isNull() || c.nodeType() == qm::kXmlOther) __builtin_trap();
        n += walk(c, depth + 1);
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string mark = "\n--DTD--\n";
    const size_t cut = input.find(mark);
    const std::string doc = input.substr(0, cut);
    const std::string dtd = cut == std::string::npos ? "" : input.substr(cut + mark.size());
    std::ofstream(scratch() / "D.DTD", std::ios::binary | std::ios::trunc) << dtd;
    const std::string path = (scratch() / "DOC.XML").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << doc;

    qm::XmlDocument xml;
    if (xml.load(path)) {
        if (xml.parseError().errorCode != 0) __builtin_trap();
        walk(xml.document(), 0);
        const qm::XmlNode root = xml.documentElement();
        if (!root.isNull() && xml.selectNodes("/" + root.nodeName()).empty()) __builtin_trap();
    } else {
        const qm::XmlParseError& e = xml.parseError();
        if (e.errorCode >= 0 || e.reason.empty() || e.reason.find('\n') != std::string::npos) __builtin_trap();
    }
    return 0;
}
