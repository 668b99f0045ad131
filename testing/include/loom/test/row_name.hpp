#pragma once
// Names each instance of a parameterised test after the `name` field of its row.

#include <string>

namespace loom::test {

struct RowName {
    template <class Info>
    std::string operator()(const Info& info) const {
        return std::string(info.param.name);
    }
};

} // namespace loom::test
