// The donor of a precompiled header (cmake/Precompiled.cmake) compiles nothing of its own.
