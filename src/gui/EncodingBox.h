#pragma once

#include <QString>

#include <string>

class QComboBox;

namespace qb {

// The encodings the window lists: caption, and iconv's name (empty: as is).
struct EncodingChoice {
    const char* caption;
    const char* name;
};
extern const EncodingChoice kEncodingChoices[6];

// The encoding box: the listed choices, Auto first, and any name the converter
// knows typed in, with completion from the common ones.
void MakeEncodingBox(QComboBox* box);

// The encoding a box's text stands for: a listed choice by its caption (in any
// case), other text as iconv's name; empty text is Auto.
std::string EncodingNamed(const QString& text);

}  // namespace qb
