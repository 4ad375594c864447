#pragma once

// What the about box of both windows tells: the version with its build tag, and on request
// the date and time of the build.

#include <string>

// "1.0.2(D001SP02)": the version and the build tag (narrow text; the windows widen it from
// the system code page).
std::string AboutVersionText();

// "Built on Jun 16 2014 10:34:35": the compiler's date and time of this build (a day below 10
// is padded with a blank, as the compiler writes it).
std::string BuildStampText();
