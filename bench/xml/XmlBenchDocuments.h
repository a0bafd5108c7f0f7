#pragma once

// Documents the XML benchmarks parse, made on the spot.

#include <cstddef>
#include <string>

namespace bench {

// A response-like document of photo records with attributes, text,
// references and CDATA, at least `bytes` long.
std::string MakeFlatDocument(std::size_t bytes);

// `depth` nested elements around one text.
std::string MakeNestedDocument(int depth);

} // namespace bench
