#include "watch/AskAnswer.h"

#include "rules/RuleModel.h"

int AskDefaultAnswer(uint16_t action)
{
    return action == RuleAction::Accept ? ASK_ALLOW : ASK_REFUSE;
}
