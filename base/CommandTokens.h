// Skipping the first tokens of a command line as the system splits it
// (blanks and tabs between tokens, double quotes around blanks), so that the
// rest can be handed on exactly as typed. For the launchers, which pass
// another program's command line through.
#pragma once

inline const wchar_t* AfterTokens(const wchar_t* line, int skip)
{
    for (; skip > 0; --skip) {
        bool quoted = false;
        for (; *line; ++line) {
            if (*line == L'"')
                quoted = !quoted;
            else if (!quoted && (*line == L' ' || *line == L'\t'))
                break;
        }
        while (*line == L' ' || *line == L'\t')
            ++line;
    }
    return line;
}
