// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>

namespace testsupport {

// The client size of fixture-window's "Fixture" window, which the self-test
// expects the X reader to report.
constexpr QSize FixtureWindowSize{300, 200};

} // namespace testsupport
