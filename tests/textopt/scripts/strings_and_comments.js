// Strings that hold comment markers, quotes of the other kind and escaped quotes.
var url = "http://example.com/path"; // a line comment after a string
var mixed = 'it\'s "quoted" // not a comment /* nor this */';
var escaped = "a \"b\" // c";
var backslash = "ends with a backslash \\"; var after = 'still code // here';
/* a block comment
   over two lines */ var block = "/* kept */";
var tricky = '/' + '/' + "not a comment";
var a = 1, b = 2; /* between */ var c = a /* inside */ + b;
console.log(url);
console.log(mixed);
console.log(escaped);
console.log(backslash, after);
console.log(block, tricky, c);
var multi = "line one \
line two";
console.log(multi);
var s = "#include and #echo in a string";
console.log(s.length, s);
