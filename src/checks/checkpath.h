// Examining a location given for a medium: it must be readable, exist as a folder and hold
// the survey folder SURVEY; a missing INDEX_D.XML is asked about. The location dialog and
// the headless program both judge a medium's folder with this routine.
#pragma once

#include <string>

namespace qm {

// The caption of every message about a medium's location.
inline constexpr const char* kLocationCaption = "成果ファイル場所";

// Makes location absolute with a trailing separator (it is rewritten in place) and judges
// it. A disc image file is opened as a medium (imagemount.h): location becomes the
// image's top folder; an image that cannot be read is refused with the reason. Each refusal is told through the message sink (warning icon, caption above); the
// question about a missing INDEX_D.XML is asked there too (Yes goes on). Answers whether
// the location was accepted.
bool CheckPath(std::string& location);

}  // namespace qm
