// One option of kydsim's command line: "--name=value" or "--name value".
#pragma once

#include <cstddef>
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

private:
    const std::vector<std::string>& args_;
    std::size_t& i_;
};

} // namespace kyd::sim
