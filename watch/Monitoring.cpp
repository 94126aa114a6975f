#include "watch/Monitoring.h"

#include "base/Config.h"

bool CMonitoring::Wanted() const
{
    return m_config && m_config->MonitoringWanted();
}

bool CMonitoring::Guarding() const
{
    return m_link && m_link->IsGuarding();
}

CWatchMain::StartResult CMonitoring::Apply(bool start, bool byUser)
{
    if (!m_link)
        return CWatchMain::START_NO_DEVICE;
    if (!start) {
        m_link->Stop();
        return CWatchMain::START_OK;
    }
    if (m_link->IsGuarding())
        return CWatchMain::START_OK;
    if (m_link->IsStarted())
        m_link->Stop();
    return m_link->Start(byUser);
}
