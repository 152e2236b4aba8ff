// Deriving the names of the two mono outputs from the source's name.
#pragma once

#include <string>

// take.wav gives takeL.wav and takeR.wav beside it: the stem is the last path
// component, leading full stops skipped, up to its next full stop. A name with
// no stem ends the process with the filename error.
void NAME_OUTPUTS(const std::string& source, std::string& left, std::string& right);
