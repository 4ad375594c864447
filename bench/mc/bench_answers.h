#pragma once

// Answers as simulated cameras send them, for the discovery client's benchmarks.

#include <string>

// A tns:ProbeMatches of about 1.3 KB with one match (nine ONVIF scopes, as cameras send),
// relating to relatesTo; index makes its address, serial number and message id its own.
std::string ProbeMatchesAnswer(const std::string& relatesTo, int index);
