// The answers of the permission prompt, which the request handling turns into
// verdicts.
#pragma once

#include <stdint.h>

// Results of the prompt.
#define ASK_ALLOW 1
#define ASK_REFUSE 2
// The prompt was withdrawn without an answer (the driver link stopped).
#define ASK_WITHDRAWN 0

// The answer the prompt gives when nobody answers: ASK_ALLOW for an Accept
// action, ASK_REFUSE for Feign, Reject and anything else.
int AskDefaultAnswer(uint16_t action);
