#pragma once

class TProject;

// Crawls a project to its end without a window: loads its lists into row models
// as the main window does (records left processing become deferred), shows the
// crawl on stderr, stops as Stop does on SIGINT or SIGTERM, and saves. Returns
// the exit status (0, or 1 when the project could not be saved).
int RunHeadlessCrawl(TProject& project, bool eager);
