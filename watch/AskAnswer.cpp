#include "watch/AskAnswer.h"

#include "driver/common/WatchProtocol.h"
#include "rules/RuleModel.h"

int AskDefaultAnswer(uint16_t action)
{
    return action == RuleAction::Accept ? ASK_ALLOW : ASK_REFUSE;
}

uint16_t AskVerdict(int answer, uint16_t preset)
{
    if (answer == ASK_ALLOW)
        return WATCH_VERDICT_ACCEPT;
    if (answer == ASK_REFUSE)
        return WATCH_VERDICT_REJECT;
    return preset;
}
