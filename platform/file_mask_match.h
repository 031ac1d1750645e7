#pragma once

#include <QString>

namespace platform {

// Whether a file name matches a mask of wildcard patterns separated by
// semicolons ("*.jpg;*.png"), ignoring case: '*' stands for any run of
// characters, '?' for one. "*.*" matches every name, with or without a
// dot. An empty mask matches nothing.
bool PathMatchSpec(const QString& name, const QString& mask);

}  // namespace platform
