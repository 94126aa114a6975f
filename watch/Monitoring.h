// "Monitoring on", worked out in one place: what the user wants (the setting
// "Hook") and what the driver link has (a started link whose driver session
// is held). The main window's switch, state, session timer and tray menu
// all ask this one owner.
#pragma once

#include "watch/WatchMain.h"

class CConfig;

class CMonitoring {
public:
    CMonitoring(CConfig* config, CWatchMain* link) : m_config(config), m_link(link) {}

    // The user wants monitoring ("Hook" is 1).
    bool Wanted() const;
    // The driver link guards: started, and its session is held.
    bool Guarding() const;
    // Monitoring is on: wanted and guarding.
    bool On() const { return Wanted() && Guarding(); }

    // Starts (`start`) or stops the link. A link that a refused or lost
    // session left open is stopped first, so that "turn on" starts afresh;
    // a link that guards already is left as it is. The result as the link's
    // Start reports it (START_OK for a stop or a link that guards).
    CWatchMain::StartResult Apply(bool start, bool byUser);

private:
    CConfig* m_config;
    CWatchMain* m_link;
};
