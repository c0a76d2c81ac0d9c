// Removes the Windows macros that would rename the library's own operations. Included by the
// library headers that declare such operations (harmless when the Windows headers are absent)
// and again after every inclusion of the Windows headers.
// No include guard: it has to act each time.
#ifdef CreateMutex
#undef CreateMutex
#endif
#ifdef Yield
#undef Yield
#endif
#ifdef GetUserName
#undef GetUserName
#endif
#ifdef DeleteFile
#undef DeleteFile
#endif
#ifdef MoveFile
#undef MoveFile
#endif
#ifdef CopyFile
#undef CopyFile
#endif
#ifdef GetObject
#undef GetObject
#endif
