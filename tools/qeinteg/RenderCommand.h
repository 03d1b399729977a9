// qeinteg render: shows the items of an engine output document as the host output would.
#pragma once

// argv[0] is the command name ("render"), then:
//   DOC.json SECTION [--item HEADING=PATH ...] [--html FILE] [--text FILE] [--json]
// Without --item every table object found in the section is rendered, under headings named by
// the objects that contain it. The text rendering (or with --json the recorded output as JSON) goes
// to standard output (or --text FILE); --html writes a self-contained HTML page. Returns 0 on
// success, 1 when the document, the section or a requested table cannot be rendered (one line on
// stderr naming the file and the cause), 2 on a usage error.
int RunRenderCommand(int argc, char** argv);
