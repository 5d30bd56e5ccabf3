// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How CORVEL_SOUND_OUT and CORVEL_SOUND_IN name a backend of the output's and the input's tables: the name
// alone ("null"), or for a backend that takes one, the name, a colon and the argument ("wav:PATH").
#include <optional>
#include <string>
#include <string_view>

namespace corvel {

// The argument when `chosen` names the backend `backend` (empty for one without an argument), else none.
inline std::optional<std::string> BackendArgument(std::string_view chosen, std::string_view backend,
                                                  bool takes_argument) {
    if (!takes_argument) return chosen == backend ? std::optional<std::string>(std::string()) : std::nullopt;
    if (chosen.size() <= backend.size() || !chosen.starts_with(backend) || chosen[backend.size()] != ':')
        return std::nullopt;
    return std::string(chosen.substr(backend.size() + 1));
}

}  // namespace corvel
