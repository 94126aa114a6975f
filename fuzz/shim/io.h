// The file-descriptor calls of the C runtime that the rule file writer uses.
#pragma once

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif
int _commit(int fd);
int _fileno(FILE* file);
#ifdef __cplusplus
}
#endif
