// Rollover menus of the navigation bar.
// Pages declare arrays of links (menu0, menu1, ...) and call
// dropdownmenu(link, event, menuArray, width) on mouse-over and
// delayhidemenu() on mouse-out.
// An item with sub-items keeps its menu in a data file beside its page
// (written once, loaded by every page below it); the bar's links are in each page.
var quillbookMenu = {
  div: null,
  hideTimer: null,
  hideDelay: 250
};

function quillbookMenuContainer() {
  if (quillbookMenu.div) return quillbookMenu.div;
  var div = document.getElementById('dropmenudiv');
  if (!div) {
    div = document.createElement('div');
    div.id = 'dropmenudiv';
    div.style.position = 'absolute';
    div.style.visibility = 'hidden';
    div.style.left = '0px';
    div.style.top = '0px';
    div.style.backgroundColor = 'lightyellow';
    (document.body || document.documentElement).appendChild(div);
  }
  div.onmouseover = clearhidemenu;
  div.onmouseout = function (e) {
    var to = e ? (e.relatedTarget || e.toElement) : null;
    if (to && div.contains(to)) return;
    delayhidemenu();
  };
  div.onclick = function () { hidemenu(); };
  quillbookMenu.div = div;
  return div;
}

// Menu data of an item loads the data of the level above it.
function quillbookMenus(parent) {
  document.write('<script type="text/javascript" src="' + parent + '"><\/script>');
}

function clearhidemenu() {
  if (quillbookMenu.hideTimer) {
    clearTimeout(quillbookMenu.hideTimer);
    quillbookMenu.hideTimer = null;
  }
}

function hidemenu() {
  clearhidemenu();
  var div = quillbookMenuContainer();
  div.style.visibility = 'hidden';
}

function delayhidemenu() {
  clearhidemenu();
  quillbookMenu.hideTimer = setTimeout(hidemenu, quillbookMenu.hideDelay);
}

function quillbookPageOffset(el) {
  var x = 0, y = 0;
  while (el) {
    x += el.offsetLeft;
    y += el.offsetTop;
    el = el.offsetParent;
  }
  return { x: x, y: y };
}

function dropdownmenu(obj, e, menucontents, menuwidth) {
  clearhidemenu();
  var div = quillbookMenuContainer();
  var items = menucontents || [];
  div.innerHTML = items.join('');
  div.style.width = menuwidth;
  if (items.length === 0) {
    div.style.visibility = 'hidden';
    return true;
  }
  var pos = quillbookPageOffset(obj);
  var left = pos.x;
  var top = pos.y + obj.offsetHeight;
  // Keep the menu inside the visible window.
  var scrollX = window.pageXOffset || document.documentElement.scrollLeft || 0;
  var scrollY = window.pageYOffset || document.documentElement.scrollTop || 0;
  var viewW = window.innerWidth || document.documentElement.clientWidth;
  var viewH = window.innerHeight || document.documentElement.clientHeight;
  div.style.visibility = 'hidden';
  div.style.left = '0px';
  div.style.top = '0px';
  var w = div.offsetWidth, h = div.offsetHeight;
  if (left + w > scrollX + viewW) left = Math.max(scrollX, scrollX + viewW - w);
  if (top + h > scrollY + viewH && pos.y - h >= scrollY) top = pos.y - h;
  div.style.left = left + 'px';
  div.style.top = top + 'px';
  div.style.visibility = 'visible';
  return true;
}

if (document.readyState === 'loading') {
  document.addEventListener('DOMContentLoaded', quillbookMenuContainer);
} else {
  quillbookMenuContainer();
}
