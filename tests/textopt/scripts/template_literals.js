// Template literals: comment markers, quotes, nested templates and braces in expressions.
var name = "world";
var t1 = `hello ${name} // not a comment`;
var t2 = `quote ' and " and /* this */`;
var t3 = `outer ${`inner ${name.length > 3 ? `deep ${name}` : "no"}`} end`;
var t4 = `object ${JSON.stringify({ a: 1, b: { c: 2 } })} done`;
var t5 = `line one
line two ${1 + 2}`;
var t6 = `escaped \` backtick and \${not} an expression`;
console.log(t1);
console.log(t2);
console.log(t3);
console.log(t4);
console.log(t5);
console.log(t6);
var fn = (x) => `${x}` + '//' + `${x - -1}`;
console.log(fn(4));
