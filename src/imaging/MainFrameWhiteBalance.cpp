// White balance: measuring and editing the channel ratios.
#include "frame/MainFrame.h"

void CMainFrame::OnWhiteBalance() {}
