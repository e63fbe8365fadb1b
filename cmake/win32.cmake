# The Windows build: nothing beyond the system libraries it links.
target_compile_definitions(zp PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
