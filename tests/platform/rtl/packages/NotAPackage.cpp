// An ordinary shared library: loadable, but it carries no package description.
#include <QtGlobal>

extern "C" Q_DECL_EXPORT int NotAPackageAnswer() { return 42; }
