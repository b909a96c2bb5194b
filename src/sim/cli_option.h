// One option of kydsim's command line: "--name=value" or "--name value".
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace kyd::sim {

class CliOption {
public:
    // Splits args[i]; takeValue() may move i on to the next argument.
    CliOption(const std::vector<std::string>& args, std::size_t& i) : name(args[i]), args_(args), i_(i)
    {
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
    }
    std::string name;
    std::optional<std::string> inlineValue;

    // The inline value, else the next argument; none when there is neither.
    std::optional<std::string> takeValue()
    {
        if (inlineValue)
            return inlineValue;
        if (i_ + 1 >= args_.size())
            return std::nullopt;
        return args_[++i_];
    }

    // The inline value, else the next argument unless it is an option
    // ("--..."); none when there is neither.
    std::optional<std::string> takeOptionalValue()
    {
        if (inlineValue)
            return inlineValue;
        if (i_ + 1 >= args_.size() || args_[i_ + 1].rfind("--", 0) == 0)
            return std::nullopt;
        return args_[++i_];
    }

private:
    const std::vector<std::string>& args_;
    std::size_t& i_;
};

// A whole option value read as a number in base, none when it is empty, has
// anything after the digits, overflows or lies outside [min, max].
inline std::optional<long> parseCliNumber(const std::string& text, int base, long min, long max)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, base);
    if (text.empty() || *end != 0 || errno != 0 || v < min || v > max)
        return std::nullopt;
    return v;
}

// "A:B" split at its first colon; "A" alone has no tail.
struct ColonPair {
    std::string head;
    std::optional<std::string> tail;
};
inline ColonPair splitAtColon(const std::string& text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return {text, std::nullopt};
    return {text.substr(0, colon), text.substr(colon + 1)};
}

} // namespace kyd::sim
