// HTML comment markers are JavaScript comments in a classic script: `<!--` anywhere comments out
// the rest of its line, `-->` at the start of a line does too.
var x = 1; <!-- x = 2;
console.log(x);
--> x = 3; this line is a comment
console.log("after close comment");
var y = 4 <!-- 5
;console.log(y);
var lt = 1, gt = 2;
console.log(lt < gt, gt-->lt, gt);
var s = "<!-- in a string -->";
console.log(s);
var ssi = "<!--#include virtual='x.js' -->";
console.log(ssi.length);
