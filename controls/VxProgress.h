// CVxProgress: a progress bar drawn as a row of blocks. It answers the
// standard progress bar messages (PBM_SETRANGE, PBM_SETRANGE32,
// PBM_GETRANGE, PBM_SETPOS, PBM_GETPOS, PBM_DELTAPOS, PBM_SETSTEP,
// PBM_STEPIT), so code that drives a progress bar by its handle drives this
// one too. The position always lies within the range.
#pragma once

#include "controls/VxControl.h"

#include <windows.h>
#include <commctrl.h>

// How many of the blocks across `width` pixels are filled for `pos` in the
// range lo..hi (blocks of `block` pixels with `gap` pixels between them; the
// last block may be cut by the edge). *total receives the number of blocks.
int ProgressBlocks(int lo, int hi, int pos, int width, int block, int gap, int* total);

class CVxProgress : public CVxControl {
public:
    bool Create(HWND parent, int id, const RECT& rect, DWORD style = WS_VISIBLE);
    bool CreateOver(HWND placeholder);

    void SetRange(int lo, int hi) { Send(PBM_SETRANGE32, lo, hi); }
    // Returns the previous position.
    int SetPos(int pos) { return static_cast<int>(Send(PBM_SETPOS, pos, 0)); }
    int GetPos() const { return m_pos; }
    int GetLow() const { return m_lo; }
    int GetHigh() const { return m_hi; }
    int StepIt() { return static_cast<int>(Send(PBM_STEPIT, 0, 0)); }
    void SetStep(int step) { Send(PBM_SETSTEP, step, 0); }

    // Blocks drawn now, filled and in all.
    int FilledBlocks(int* total) const;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT Send(UINT msg, WPARAM wParam, LPARAM lParam)
    {
        return m_hWnd ? SendMessageW(m_hWnd, msg, wParam, lParam) : 0;
    }
    int Clamp(int pos) const;
    int BlockWidth() const;
    int MovePos(int pos); // sets, repaints, returns the previous position
    void Paint(HDC dc) override;

    int m_lo = 0;
    int m_hi = 100;
    int m_pos = 0;
    int m_step = 10;
};
