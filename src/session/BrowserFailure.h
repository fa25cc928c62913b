#pragma once

class Module1;

// The end of the program when the browser cannot be driven: box, log, end. Neither browser
// is told to quit; the browser component ends them when the process goes. On an unattended
// screen it returns instead, and the browser is started again (BrowserRestart).
void BrowserFailure(Module1& m);
