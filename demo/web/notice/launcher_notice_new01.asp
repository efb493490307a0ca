<!DOCTYPE html>
<html lang="ko">
<head>
<meta charset="utf-8">
<title>Velmora notice</title>
<style>
  body { margin: 0; padding: 10px 12px; background: #141a24; color: #d9dee8;
         font: 12px/1.45 "Noto Sans CJK KR", sans-serif; }
  h1 { margin: 0 0 6px; font-size: 14px; color: #f2c46d; }
  li { margin: 3px 0; }
  .date { color: #7f8aa0; margin-right: 6px; }
</style>
</head>
<body>
<h1>Velmora 공지사항</h1>
<ul>
  <li><span class="date">12.10</span>Demo server: client 1.1 is live.</li>
  <li><span class="date">12.10</span>The Kessa server opens with the same client.</li>
  <li><span class="date">12.08</span>Weekly maintenance, Thursday 06:00–08:00.</li>
  <li><span class="date">12.01</span>Winter festival events begin.</li>
</ul>
</body>
</html>
