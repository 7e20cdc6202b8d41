// The upload's content type: application/xml, with no parameter but an
// optional charset of UTF-8 (what the client sends). Names compare without
// case, as HTTP says.
#pragma once

#include <string_view>

namespace intake {

bool IsXmlUtf8ContentType(std::string_view content_type);

}  // namespace intake
