// SPDX-License-Identifier: GPL-3.0-or-later
// Emscripten's loader tries fetch() on the WebAssembly it carries as a data:
// address before decoding it itself; the page's policy (connect-src 'none')
// refuses that fetch and reports it as a violation on every load. This hands
// the loader the decoded bytes at once.
Module['instantiateWasm'] = function (imports, receive) {
  WebAssembly.instantiate(getBinary(wasmBinaryFile), imports)
    .then(function (result) { receive(result['instance'], result['module']); }, abort);
  return {};
};
