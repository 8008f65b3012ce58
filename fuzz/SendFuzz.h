#pragma once

#include <string_view>

// The sending side, from the bytes given: a batch's entries and statements,
// the bulk paths' values, and the manifest's count of lines over runs, each
// checked against a plain model and an in-memory SQLite database.
void SendRound(std::string_view bytes);
