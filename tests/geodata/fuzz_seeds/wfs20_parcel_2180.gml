<?xml version="1.0" encoding="UTF-8"?>
<wfs:FeatureCollection xmlns:wfs="http://www.opengis.net/wfs/2.0" xmlns:gml="http://www.opengis.net/gml/3.2" xmlns:ms="http://mapserver.gis.umn.edu/mapserver" numberMatched="1">
<wfs:member><ms:dzialki gml:id="d.1" id="1"><ms:ID_DZIALKI>146501_1.0001.1</ms:ID_DZIALKI><ms:geom><gml:Polygon srsName="urn:ogc:def:crs:EPSG::2180"><gml:exterior><gml:LinearRing><gml:posList>350000 450000 350000 450010 350010 450010 350000 450000</gml:posList></gml:LinearRing></gml:exterior><gml:interior><gml:LinearRing><gml:posList>350002 450002 350002 450004 350004 450004</gml:posList></gml:LinearRing></gml:interior></gml:Polygon></ms:geom></ms:dzialki></wfs:member>
</wfs:FeatureCollection>
