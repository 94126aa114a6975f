// Resource ids of res/Pages.rc.
#pragma once
