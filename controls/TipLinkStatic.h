#pragma once

#include "controls/VxInfoTip.h"
#include "controls/VxLinkStatic.h"

// The help link passes its mouse messages to the info tip, so the tip shows
// while the mouse rests on the link and follows it.
class CTipLinkStatic : public CVxLinkStatic {
public:
    void SetTip(CVxInfoTip* tip) { m_tip = tip; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    CVxInfoTip* m_tip = nullptr;
};
