<?xml version="1.0" encoding="UTF-8"?>
<wfs:FeatureCollection xmlns:wfs="http://www.opengis.net/wfs/2.0" xmlns:gml="http://www.opengis.net/gml/3.2" xmlns:ms="http://mapserver.gis.umn.edu/mapserver">
<wfs:member><ms:x gml:id="g" id="i" fid="f"><ms:a>1</ms:a><ms:a>2</ms:a><ms:c><![CDATA[x<y]]></ms:c><ms:e>A&amp;B&#x142;</ms:e><ms:n><ms:m>1</ms:m></ms:n><ms:bad>ÿþ</ms:bad><ms:g><gml:Polygon><gml:exterior><gml:LinearRing><gml:posList>0 0 1 0 1 1</gml:posList></gml:LinearRing></gml:exterior></gml:Polygon></ms:g></ms:x></wfs:member>
</wfs:FeatureCollection>
