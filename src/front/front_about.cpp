#include "front/front_about.h"

namespace {
const char kVersion[] = "1.0.2";
const char kBuildTag[] = "D001SP02";
}  // namespace

std::string AboutVersionText() {
    return std::string(kVersion) + "(" + kBuildTag + ")";
}

std::string BuildStampText() {
    return std::string("Built on ") + __DATE__ + " " + __TIME__;
}
