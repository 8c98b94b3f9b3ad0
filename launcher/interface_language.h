// The user's interface language: Chinese unless the per-user value says "en-US".
#pragma once

namespace launcher {

bool IsChineseUi();

}  // namespace launcher
