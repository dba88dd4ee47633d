// The publisher's command line: commands "anahtar-uret", "yayinla", "dogrula" and "yardim", their
// options, the two-language help text, and console output that survives pipes (UTF-8) and consoles.
#pragma once

#include <string>
#include <vector>

#include "protocol/key_set.h"

// Exit codes of the publisher program.
enum class PublisherExit : int { Ok = 0, Failed = 1, Usage = 2 };

// Runs one command (args without the program name). Output goes to the console, or is appended to
// *capture when given (tests).
PublisherExit runPublisher(const std::vector<std::wstring>& args, std::wstring* capture = nullptr);

// One or more keys of 128 hexadecimal characters (X then Y) separated by commas, or a file holding
// them (separated by commas, blanks or line breaks).
bool parsePublicKeyArgument(const std::wstring& argument, KeySet& keys);
std::wstring publisherHelpText();
