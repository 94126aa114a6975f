// Resource ids of res/Controls.rc.
#pragma once
