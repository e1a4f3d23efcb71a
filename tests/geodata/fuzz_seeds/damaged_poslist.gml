<?xml version="1.0" encoding="UTF-8"?>
<wfs:FeatureCollection xmlns:wfs="http://www.opengis.net/wfs/2.0" xmlns:gml="http://www.opengis.net/gml/3.2" xmlns:ms="http://mapserver.gis.umn.edu/mapserver">
<wfs:member><ms:x><gml:Polygon srsName="EPSG:2179"><gml:exterior><gml:LinearRing><gml:posList>8500000 5600000 nan 1,5 inf 1e999</gml:posList></gml:LinearRing></gml:exterior></gml:Polygon><gml:Curve><gml:segments><gml:LineStringSegment><gml:posList>0 0 1 1</gml:posList></gml:LineStringSegment></gml:segments></gml:Curve></ms:x></wfs:member>
</wfs:FeatureCollection>
