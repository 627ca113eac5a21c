// Line breaks that end statements (automatic semicolon insertion) must survive.
var outer = "a label and a variable";
function f1() {
    return
    (1 + 2);
}
function f2() {
    return (
        1 + 2
    );
}
console.log(f1(), f2());
var a = 1
var b = a
++b
console.log(a, b);
var c = 2
{
    c = 3
}
console.log(c);
var g = function () { return "called"; }
var h = g
("ignored")
console.log(h);
function f3() {
    try {
        throw new Error("thrown")
    } catch (e) {
        return e.message
    }
}
console.log(f3());
outer: for (var i = 0; i < 3; i++) {
    for (var j = 0; j < 3; j++) {
        if (j == 1) continue
        outer;
        if (i == 2) break
        outer;
    }
}
console.log(i, j);
function* gen() {
    yield
    1;
}
console.log(gen().next().value);
var d = g // trailing comment
(function () { return 5; })
console.log(d);
var e = [1, 2]
[0]
console.log(e);
if (a) {
    console.log("block")
}
else
{
    console.log("else")
}
var k = 0
k++
k++
console.log(k);
