#include "driver/names.hpp"

#include "common/fail.hpp"

void NAME_OUTPUTS(const std::string& source, std::string& left, std::string& right)
{
    // Cutting only the last component keeps dots in folder names out of the
    // stem and leaves the outputs in the source's folder.
    const std::size_t slash = source.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t start = source.find_first_not_of('.', base);
    if (start == std::string::npos) Fail(2, bad_name);
    const std::size_t end = source.find('.', start);
    const std::string stem = source.substr(0, base) + source.substr(start, end - start);
    left = stem + "L.wav";
    right = stem + "R.wav";
}
