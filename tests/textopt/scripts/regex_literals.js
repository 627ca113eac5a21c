// Regular-expression literals: slashes, quotes and comment markers inside them, and divisions
// that must not be taken for them.
var r1 = /\/\//g;
var r2 = /['"]/;
var r3 = /[/]+/;
var r4 = /a\/*b/;
var text = "a//b 'c' \"d\" x/y";
console.log(text.replace(r1, "|"), r2.test(text), text.split(r3).length, r4.source);
var a = 10, b = 2, g = 5;
var d = a / b / g; // two divisions
var e = a / b, f = (a) / 2;
console.log(d, e, f);
var arr = [1, 2, 3];
console.log(arr.length / 3);
function pick(x) { return /^x/.test(x) ? "x" : "other"; }
console.log(pick("xy"), pick("yx"));
var i = 4;
i++ / 2;
var h = i++ / 2;
console.log(h, i);
if (/\d+/.test("a1")) { console.log("digit"); }
var m = "x = 1 // y".match(/\/\/ (\w)/);
console.log(m[1]);
var t = typeof /re/;
console.log(t, [/a/, /b/].length);
var q = 1
/2/1;
console.log(q);
