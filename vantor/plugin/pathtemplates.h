#pragma once

#include <QString>

namespace Vantor {
namespace Internal {

// Folder of a repository: "%1" takes the repository name.
const QString &repositoryPathTemplate();
// Folder of an example: "%1" takes the repository name, "%2" the example's path.
const QString &examplePathTemplate();

} // namespace Internal
} // namespace Vantor
