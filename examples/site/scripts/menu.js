// Script files are copied but not optimized.
function toggleMenu(id) {
    var menu = document.getElementById(id);
    menu.style.display = menu.style.display === "none" ? "block" : "none";
}
