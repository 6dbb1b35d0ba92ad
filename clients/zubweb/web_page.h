// The one page zubweb serves: plain HTML, CSS and JavaScript, no build step.
#pragma once

// The whole page, UTF-8.
const char* WebPageHtml();
