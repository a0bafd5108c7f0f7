#include "XmlBenchDocuments.h"

namespace bench {

std::string MakeFlatDocument(std::size_t bytes) {
    std::string text = "<?xml version=\"1.0\"?>\r\n<response resultcode=\"0\">\r\n<photos>\r\n";
    text.reserve(bytes + 512);
    for (int id = 1; text.size() < bytes; ++id) {
        const std::string n = std::to_string(id);
        text += "<photo id=\"" + n + "\" album=\"" + std::to_string(id % 97) +
                "\" privacy='public'>\r\n<title>Holiday &amp; friends #" + n +
                "</title>\r\n<filename><![CDATA[IMG_" + n +
                ".jpg]]></filename>\r\n<description>Sea, sand &lt;and&gt; sun &#233;t&#xE9;"
                "</description>\r\n<tags><tag>beach</tag><tag>summer</tag></tags>\r\n"
                "<size width=\"4000\" height=\"3000\"/>\r\n</photo>\r\n";
    }
    return text + "</photos>\r\n</response>\r\n";
}

std::string MakeNestedDocument(int depth) {
    std::string text;
    text.reserve(static_cast<std::size_t>(depth) * 9 + 16);
    for (int i = 0; i < depth; ++i) {
        text += "<n>";
    }
    text += "leaf";
    for (int i = 0; i < depth; ++i) {
        text += "</n>";
    }
    return text;
}

} // namespace bench
